// What --info and --report add to a run: the events counted beside the
// output, the damage recorded beside the salvage report, and at the end
// the summary printed and the report page written.
#ifndef QNVTAB_CLI_TRACE_LOOK_H_
#define QNVTAB_CLI_TRACE_LOOK_H_

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/output_file.h"
#include "convert/convert_trace.h"
#include "summary/event_stats.h"
#include "summary/trace_summary.h"

namespace qnvtab {

class TraceLook : public IncidentReporter {
 public:
  // Incidents go on to `incidents` as well as into the look.
  TraceLook(const Options& options, const std::string& inputPath, uint64_t fileSize,
            IncidentReporter& incidents);

  // The sink that counts the events; null when no summary is asked for,
  // or when its tables could not be allocated (then allocated() is false).
  RowSink* sink() { return stats_ && stats_->allocated() ? &*stats_ : nullptr; }
  // Whether a summary or a report is asked for.
  bool wanted() const { return stats_.has_value(); }
  bool allocated() const { return !stats_ || stats_->allocated(); }

  void report(const Incident& incident) override;

  // The summary of the run that `outcome` ends; `fault` is its diagnosis,
  // empty when none, and `salvage` the salvage report's closing line.
  TraceSummary summarize(ByteSource& input, const ConversionOutcome& outcome,
                         const std::string& fault, const std::string& salvage) const;

 private:
  static constexpr size_t kIncidentLines = 20;

  const Options& options_;
  const std::string& inputPath_;
  IncidentReporter& incidents_;
  std::optional<EventStats> stats_;
  DamageMap damage_;
  std::vector<std::string> incidentLines_;  // the first kIncidentLines
  uint64_t incidentCount_ = 0;
};

// Writes the report page to `file`; the diagnosis of a failure, else empty.
std::string writeReport(const TraceSummary& summary, const std::string& path, OutputFile& file);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_TRACE_LOOK_H_
