// Runs the real qnvtab binary for end-to-end tests, and small file helpers.
#ifndef QNVTAB_TESTS_SUPPORT_RUN_BINARY_H_
#define QNVTAB_TESTS_SUPPORT_RUN_BINARY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qnvtab::testing {

struct RunResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs qnvtab with `arguments` in directory `workDirectory` (empty: the
// current one), standard input closed.
RunResult runQnvtab(const std::vector<std::string>& arguments,
                    const std::string& workDirectory = "");

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

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_RUN_BINARY_H_
