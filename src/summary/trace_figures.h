// The figures every view of a trace shows alike: its row in the database's
// table of traces, its --info in each form, and its report page. They are
// derived here alone, so that the views cannot come to disagree.
#ifndef QNVTAB_SUMMARY_TRACE_FIGURES_H_
#define QNVTAB_SUMMARY_TRACE_FIGURES_H_

#include <cstdint>
#include <optional>

#include "events/event_tally.h"
#include "trace/block_reader.h"
#include "trace/incident.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"

namespace qnvtab {

// What the conversion of a trace ended with, as its views take it.
struct TraceEnding {
  bool failed = false;   // a fault ended the conversion
  bool salvage = false;  // --salvage
  BlockTally blocks;     // read, checked and expanded
  SalvageSummary salvaged;
  // The header as the conversion took it, and the footer when its checksum
  // is right; none where the conversion stopped before them.
  std::optional<HeaderRead> header;
  std::optional<TraceFooter> footer;
};

struct TraceFigures {
  // "failed" when a fault ended the conversion, else with salvage where
  // damage was found "damaged-end" or "damaged-inside", else "sound".
  const char* status = "sound";
  EventTally events;  // of the rows written
  uint64_t blocks = 0;
  uint64_t blocksLost = 0;  // 0 without salvage
  uint64_t bytesSkipped = 0;
};

// The figures of the trace whose conversion ended with `ending` and whose
// rows counted `events`.
TraceFigures traceFigures(const TraceEnding& ending, const EventTally& events);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_TRACE_FIGURES_H_
