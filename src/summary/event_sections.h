// The report's pictures of the events: over wall-clock time, per command
// (with the return codes) and per port and session, each chart followed by
// a table of its numbers.
#ifndef QNVTAB_SUMMARY_EVENT_SECTIONS_H_
#define QNVTAB_SUMMARY_EVENT_SECTIONS_H_

#include <string>

#include "summary/trace_summary.h"

namespace qnvtab {

// The sections as HTML, for a summary with at least one event.
std::string eventSections(const TraceSummary& summary);

// "10 s", "5 min", "1 h", "7 days": a bin width of the time histogram.
std::string durationText(uint64_t milliseconds);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_EVENT_SECTIONS_H_
