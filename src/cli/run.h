// The whole life of one qnvtab run: command line, files, conversion,
// console messages and exit status.
#ifndef QNVTAB_CLI_RUN_H_
#define QNVTAB_CLI_RUN_H_

namespace qnvtab {

enum ExitStatus : int {
  kExitSuccess = 0,
  kExitFailure = 1,        // usage shown, a file not opened, a faulty input
  kExitInvalidOption = 2,
};

// Prints on standard output what a user reads, and a one-line diagnosis of
// a fault or a warning on standard error.
int runQnvtab(int argc, const char* const* argv);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_RUN_H_
