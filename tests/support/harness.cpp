#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "string_sink.h"
#include "table/tsv_sink.h"
#include "trace/byte_source.h"

extern char** environ;

namespace qnvtab::testing {

namespace {

// Runs `program` with `argv`, its standard output and error captured.
RunResult runProgram(const std::string& program, std::vector<std::string> arguments,
                     const std::string& workDirectory, char** environment) {
  TempDir capture;
  const std::string outPath = capture.file("stdout");
  const std::string errPath = capture.file("stderr");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDirectory.c_str());
  pid_t pid = 0;
  RunResult result;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environment) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

}  // namespace

unsigned suiteThreads() {
  const char* threads = std::getenv("QNVTAB_TEST_THREADS");
  return threads != nullptr ? static_cast<unsigned>(std::atoi(threads)) : 1;
}

RunResult runQnvtab(const std::vector<std::string>& arguments, const std::string& workDirectory) {
  std::vector<std::string> argv{QNVTAB_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back("--threads=" + std::to_string(suiteThreads()));
  return runProgram(QNVTAB_BINARY, argv, workDirectory, environ);
}

RunResult runShell(const std::string& command) {
  std::vector<std::string> variables{std::string("QNVTAB=") + QNVTAB_BINARY};
  for (char** variable = environ; *variable != nullptr; ++variable) variables.push_back(*variable);
  std::vector<char*> environment;
  for (std::string& variable : variables) environment.push_back(variable.data());
  environment.push_back(nullptr);
  return runProgram("/bin/sh", {"sh", "-c", command}, "", environment.data());
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qnvtab-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only files or folders behind.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string successText(const std::string& input, const std::string& output) {
  return "\r\n\r\n- Converter from Ortavi QNV Trace to text file. (v. 6.03.01 - 19/05/2008) -\r\n\r\n"
         "Conversion from '" + input + "' to '" + output + "' done.\r\n";
}

BinaryConversion convertWithBinary(const std::vector<uint8_t>& trace,
                                   const std::vector<std::string>& options) {
  TempDir work;
  writeFile(work.file(kTraceName), trace);
  std::vector<std::string> arguments{std::string("-i") + kTraceName,
                                     std::string("-o") + kTableName};
  arguments.insert(arguments.end(), options.begin(), options.end());
  BinaryConversion conversion;
  conversion.run = runQnvtab(arguments, work.path());
  conversion.outputExists = fileExists(work.file(kTableName));
  conversion.table = readFile(work.file(kTableName));
  return conversion;
}

InProcessConversion convertInProcess(const std::vector<uint8_t>& trace,
                                     const RowOptions& options, bool salvage,
                                     WorkerPool* workers) {
  class Collector : public IncidentReporter {
   public:
    explicit Collector(std::vector<Incident>& incidents) : incidents_(incidents) {}
    void report(const Incident& incident) override { incidents_.push_back(incident); }

   private:
    std::vector<Incident>& incidents_;
  };
  MemoryByteSource source(trace.data(), trace.size());
  StringSink output;
  InProcessConversion conversion;
  Collector incidents(conversion.incidents);
  {
    // One pool serves every conversion of the suite. The converting thread
    // counts as one of the suite's threads, as with --threads: no pool for one.
    static const std::unique_ptr<WorkerPool> suiteWorkers =
        suiteThreads() > 1 ? std::make_unique<WorkerPool>(suiteThreads() - 1) : nullptr;
    if (workers == nullptr) workers = suiteWorkers.get();
    TsvSink sink(output, OutputBuffer::kDefaultCapacity, workers);
    conversion.outcome = convertTrace(source, ConversionSettings{options, salvage, workers}, sink,
                                      nullptr, &incidents);
  }
  conversion.table = std::move(output.text);
  return conversion;
}

}  // namespace qnvtab::testing
