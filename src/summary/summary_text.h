// The summary as text for the console: a few lines per topic, numbers
// aligned, texts from the trace shown printable.
#ifndef QNVTAB_SUMMARY_SUMMARY_TEXT_H_
#define QNVTAB_SUMMARY_SUMMARY_TEXT_H_

#include <string>

#include "summary/trace_summary.h"

namespace qnvtab {

std::string summaryText(const TraceSummary& summary);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_SUMMARY_TEXT_H_
