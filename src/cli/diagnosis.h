// The one-line diagnoses on standard error: every fault value becomes its
// sentence here, and nowhere else.
#ifndef QNVTAB_CLI_DIAGNOSIS_H_
#define QNVTAB_CLI_DIAGNOSIS_H_

#include <string>

#include "trace/trace_fault.h"

namespace qnvtab {

// What is wrong and where, e.g. "block 3 at offset 2048: payload checksum
// 0x1A2B, expected 0x3C4D".
std::string describeFault(const Fault& fault);

// The system's reason for an error number, e.g. "No space left on device".
std::string systemReason(int error);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_DIAGNOSIS_H_
