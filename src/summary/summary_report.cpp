#include "summary/summary_report.h"

namespace qnvtab {

std::string summaryReport(const TraceSummary&) { return "<!DOCTYPE html>\n"; }

}  // namespace qnvtab
