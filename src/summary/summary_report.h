// The summary as one self-contained HTML page with inline SVG charts: no
// script, no network, nothing beside it. Every text from the trace or the
// command line is escaped.
#ifndef QNVTAB_SUMMARY_SUMMARY_REPORT_H_
#define QNVTAB_SUMMARY_SUMMARY_REPORT_H_

#include <string>

#include "summary/trace_summary.h"

namespace qnvtab {

std::string summaryReport(const TraceSummary& summary);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_SUMMARY_REPORT_H_
