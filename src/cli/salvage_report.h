// The salvage report on standard error: one line per incident as it is
// met, then a summary of what was read, skipped and lost.
#ifndef QNVTAB_CLI_SALVAGE_REPORT_H_
#define QNVTAB_CLI_SALVAGE_REPORT_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/progress.h"
#include "convert/salvage.h"

namespace qnvtab {

// What happened, where, and what it cost, e.g. "block 3 at offset 2048:
// payload checksum 0x1A2B, expected 0x3C4D: bytes 2048-2565 skipped (518
// bytes), block 3 lost, 40 event-stream bytes dropped after event 17".
std::string describeIncident(const Incident& incident);

// E.g. "salvage: 48 blocks read, 2 lost; 1036 bytes skipped (1.4% of the
// file); 1200 events written, at least 2 lost (about 31 by the mean event
// size, an estimate)". Under a selection, `selectedRows` are the rows
// written of the `events` read: "1200 events read, 37 rows written, ...".
std::string describeSalvage(const SalvageSummary& summary, int32_t events,
                            std::optional<uint64_t> selectedRows = std::nullopt);

class StderrIncidentReporter : public IncidentReporter {
 public:
  // `prefix` begins every line, e.g. "qnvtab: TRACE.QNV: "; a progress
  // line on the terminal, when given, is erased first.
  StderrIncidentReporter(std::string prefix, ProgressLine* progress)
      : prefix_(std::move(prefix)), progress_(progress) {}
  void report(const Incident& incident) override;

 private:
  std::string prefix_;
  ProgressLine* progress_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_SALVAGE_REPORT_H_
