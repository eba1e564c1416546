// What --info and --report add to the run of a trace: the events counted
// beside the output, the damage recorded beside the salvage report, and at
// the end the summary assembled from them and from how the conversion
// ended, for the text, JSON, TSV and HTML views alike.
#ifndef QNVTAB_SUMMARY_TRACE_LOOK_H_
#define QNVTAB_SUMMARY_TRACE_LOOK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "summary/event_stats.h"
#include "summary/trace_figures.h"
#include "summary/trace_summary.h"
#include "trace/byte_source.h"

namespace qnvtab {

// The console's wording, so that the summary's lines read as standard
// error's do.
struct ConsoleWording {
  std::string (*name)(std::string_view bytes);  // a name of any bytes, escaped
  std::string (*incident)(const Incident& incident);
};

struct LookRequest {
  bool wanted = false;   // a summary or a report is asked for
  std::string fileName;  // as the console shows it
  uint64_t fileSize = 0;
  std::vector<std::string> selection;  // the selection options as typed
  std::optional<InputPacking> packing;
  ConsoleWording wording;
};

class TraceLook : public IncidentReporter {
 public:
  // Incidents go on to `incidents` as well as into the look.
  TraceLook(LookRequest request, IncidentReporter& incidents);

  // The sink that counts the events; null when no summary is asked for,
  // or when its tables could not be allocated (then allocated() is false).
  RowSink* sink() { return stats_ && stats_->allocated() ? &*stats_ : nullptr; }
  bool wanted() const { return stats_.has_value(); }
  bool allocated() const { return !stats_ || stats_->allocated(); }

  void report(const Incident& incident) override;

  // The summary of the trace in `input` whose conversion ended with
  // `ending`; `fault` is its diagnosis, empty when none, and `salvage` the
  // salvage report's closing line.
  TraceSummary summarize(ByteSource& input, const TraceEnding& ending, const std::string& fault,
                         const std::string& salvage) const;

 private:
  static constexpr size_t kIncidentLines = 20;

  LookRequest request_;
  IncidentReporter& incidents_;
  std::optional<EventStats> stats_;
  DamageMap damage_;
  std::vector<std::string> incidentLines_;  // the first kIncidentLines
  uint64_t incidentCount_ = 0;
};

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_TRACE_LOOK_H_
