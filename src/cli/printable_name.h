// File names as shown in the diagnosis lines on standard error: a name may
// hold any byte but a slash and NUL, and a line feed or an escape sequence
// in it must neither split the line nor reach the terminal.
#ifndef QNVTAB_CLI_PRINTABLE_NAME_H_
#define QNVTAB_CLI_PRINTABLE_NAME_H_

#include <string>
#include <string_view>

namespace qnvtab {

// `name` with control characters (C0, DEL, and the C1 range, which holds
// CSI), bytes that are not UTF-8 and the backslash escaped: "\n", "\t",
// "\r", "\\", else "\xHH" per byte. The empty name is shown as ''.
std::string printableName(std::string_view name);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_PRINTABLE_NAME_H_
