// The whole life of one qnvtab run: command line, files, conversion,
// console messages and exit status.
#ifndef QNVTAB_CLI_RUN_H_
#define QNVTAB_CLI_RUN_H_

namespace qnvtab {

enum ExitStatus : int {
  kExitSuccess = 0,        // converted, --help, --version
  kExitFailure = 1,        // usage shown, a file not opened or written, a faulty input
  kExitInvalidOption = 2,
  kExitSalvagedEnd = 3,      // --salvage: only the end of the file was missing or damaged
  kExitSalvagedDamage = 4,   // --salvage: damage inside the file was skipped or repaired
  // 128 + the signal number: interrupted by SIGINT, SIGTERM or SIGHUP.
};

// Prints on standard output what a user reads, and a one-line diagnosis of
// a fault or a warning on standard error.
int runQnvtab(int argc, const char* const* argv);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_RUN_H_
