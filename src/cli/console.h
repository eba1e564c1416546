// The texts the program prints on standard output, byte for byte.
#ifndef QNVTAB_CLI_CONSOLE_H_
#define QNVTAB_CLI_CONSOLE_H_

#include <string>

namespace qnvtab {

std::string bannerText();
// Ends with its own line feed.
std::string usageText();
// The usage text followed by the long options, for --help.
std::string helpText();
// "qnvtab 1.0.0" and a line feed, for --version.
std::string versionText();
// "1.0.0".
const char* programVersion();
std::string invalidOptionText(const std::string& argument);
std::string completionText(const std::string& inputPath, const std::string& outputPath);
// After the completion text, once for each file of a split table after the
// first, e.g. "Continued in 'OUT_2.XLS'.".
std::string continuationText(const std::string& partPath);

// Each followed by one line feed.
extern const char kCannotOpenInputText[];
extern const char kCannotOpenOutputText[];
extern const char kCannotWriteOutputText[];
extern const char kInputFaultText[];
extern const char kSwitchedOffWarningText[];

}  // namespace qnvtab

#endif  // QNVTAB_CLI_CONSOLE_H_
