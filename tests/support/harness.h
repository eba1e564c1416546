// The tests' one harness: runs the real qnvtab binary, or one whole
// conversion in this process, and small file helpers.
#ifndef QNVTAB_TESTS_SUPPORT_HARNESS_H_
#define QNVTAB_TESTS_SUPPORT_HARNESS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "convert/convert_trace.h"
#include "parallel/worker_pool.h"

namespace qnvtab::testing {

struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// The thread count the suite runs with: $QNVTAB_TEST_THREADS, or 1, counted
// as --threads counts them (the converting thread and its workers). The
// end-to-end tests are registered once with one thread and once with several,
// so that every expectation holds for both.
unsigned suiteThreads();

// Runs qnvtab with `arguments` and --threads=suiteThreads() in directory
// `workDirectory` (empty: the current one), standard input closed.
RunResult runQnvtab(const std::vector<std::string>& arguments,
                    const std::string& workDirectory = "");

// Runs `command` with /bin/sh -c, the binary's path in $QNVTAB, standard
// input closed: for redirections and resource limits.
RunResult runShell(const std::string& command);

// A fresh directory, removed with its contents at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool fileExists(const std::string& path);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// The binary's banner and completion message for a successful run.
std::string successText(const std::string& input, const std::string& output);

// A conversion through the real binary, run in a fresh folder that holds
// the trace as kTraceName and receives the table as kTableName.
constexpr char kTraceName[] = "TRACE.QNV";
constexpr char kTableName[] = "OUT.XLS";
struct BinaryConversion {
  RunResult run;
  bool outputExists = false;
  std::string table;
};
BinaryConversion convertWithBinary(const std::vector<uint8_t>& trace,
                                   const std::vector<std::string>& options = {});

// One conversion in this process, the trace read from memory and the table
// collected in memory, on `workers` (none: on suiteThreads() threads in all,
// with suiteThreads() - 1 workers, as the binary runs them).
struct InProcessConversion {
  ConversionOutcome outcome;
  std::string table;
  std::vector<Incident> incidents;  // with salvage
};
InProcessConversion convertInProcess(const std::vector<uint8_t>& trace,
                                     const RowOptions& options = {}, bool salvage = false,
                                     WorkerPool* workers = nullptr);

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_HARNESS_H_
