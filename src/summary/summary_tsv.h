// The summary as a row of a table of traces, one per trace, after a title
// line: the figures a collection of traces is compared by. Cells are
// separated by TAB; names are printable already, so no cell holds one.
#ifndef QNVTAB_SUMMARY_SUMMARY_TSV_H_
#define QNVTAB_SUMMARY_SUMMARY_TSV_H_

#include <string>

#include "summary/trace_summary.h"

namespace qnvtab {

// "file\tsize\tversion\tstatus\t..." and a line feed.
std::string summaryTsvTitle();
// The trace's row and a line feed; a cell the trace does not give is empty.
std::string summaryTsvRow(const TraceSummary& summary);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_SUMMARY_TSV_H_
