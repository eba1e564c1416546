// The summary as one JSON document with stable keys, for scripts.
#ifndef QNVTAB_SUMMARY_SUMMARY_JSON_H_
#define QNVTAB_SUMMARY_SUMMARY_JSON_H_

#include <string>

#include "summary/trace_summary.h"

namespace qnvtab {

// Pretty-printed, ending with a line end.
std::string summaryJson(const TraceSummary& summary);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_SUMMARY_JSON_H_
