// The edge between qnvtab and its surroundings, through the real binary:
// readers that go away, file-size limits, failing reads, refused opens,
// signals, the table on standard output, and file names that hold control
// characters.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "event_mix.h"
#include "harness.h"
#include "sqlite_rows.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using namespace qnvtab::builder;
using testing::readFile;
using testing::runQnvtab;
using testing::RunResult;
using testing::TempDir;

// 20,000 mixed events in stored blocks: a trace of over a megabyte and a
// table of several, far more than a pipe and the converter's output buffer
// hold.
Bytes largeTrace() {
  TraceSpec plan;
  plan.blockSize = 8192;
  plan.mode = BlockMode::Stored;
  return buildTrace(plan, encodeEvents(makeEventMix(15, 20000), 8)).bytes;
}

struct Launch {
  std::vector<std::string> arguments;
  int out = -1;  // descriptors to become standard output and error
  int err = -1;
  std::vector<std::string> environment;  // NAME=VALUE added to ours
  int limitedResource = -1;              // setrlimit() in the child
  rlim_t limit = 0;
};

pid_t launch(const Launch& what) {
  std::string binary = QNVTAB_BINARY;
  std::vector<std::string> arguments = what.arguments;
  std::vector<char*> argv{binary.data()};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = what.environment;
  std::vector<char*> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) envp.push_back(*variable);
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(what.out, 1);
    ::dup2(what.err, 2);
    ::close_range(3, ~0U, 0);  // the test's own descriptors, pipe ends above all
    if (what.limitedResource >= 0) {
      const rlimit limit{what.limit, what.limit};
      ::setrlimit(what.limitedResource, &limit);
    }
    ::execve(binary.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A launch whose standard output and error are files in `dir`.
struct Captured {
  int status = -1;
  std::string out;
  std::string err;
};
Captured runCaptured(const TempDir& dir, Launch what) {
  what.out = ::open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  what.err = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Captured run;
  run.status = exitStatus(launch(what));
  ::close(what.out);
  ::close(what.err);
  run.out = readFile(dir.file("stdout"));
  run.err = readFile(dir.file("stderr"));
  return run;
}

std::string readAll(int fd, size_t atMost = std::string::npos) {
  std::string text;
  char chunk[1 << 16];
  while (text.size() < atMost) {
    const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, atMost - text.size()));
    if (got <= 0) break;
    text.append(chunk, static_cast<size_t>(got));
  }
  return text;
}

// The whole table of `trace`, converted into a file.
std::string fullTable(const TempDir& dir, const std::string& trace) {
  const RunResult run = runQnvtab({"-i" + trace, "-o" + dir.file("full.xls")});
  EXPECT_EQ(run.status, 0);
  return readFile(dir.file("full.xls"));
}

std::string writeLargeTrace(const TempDir& dir) {
  const std::string trace = dir.file("trace.qnv");
  testing::writeFile(trace, largeTrace());
  return trace;
}

const std::string kCannotWrite = "Cannot write output file!\n";

// Converts `trace` into `fifo`, standard output and error going to files
// in `dir`; the caller reads the FIFO and waits.
pid_t launchIntoFifo(const TempDir& dir, const std::string& trace, const std::string& fifo,
                     const std::vector<std::string>& options = {}) {
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Launch what;
  what.arguments = {"-i" + trace, "-o" + fifo};
  what.arguments.insert(what.arguments.end(), options.begin(), options.end());
  what.out = ::open(dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  what.err = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = launch(what);
  ::close(what.out);
  ::close(what.err);
  return pid;
}

// Converts `trace` with -o/dev/stdout, standard output a pipe whose read
// end is left in `tableEnd`, standard error a file in `dir`.
// Converts `trace` into a FIFO, sends `signal` once the first bytes of the
// table are there, and reads the rest: the table as written.
std::string interruptedTable(const TempDir& dir, const std::string& trace, int signal,
                             const std::vector<std::string>& options = {}) {
  const std::string fifo = dir.file("table.fifo");
  const pid_t pid = launchIntoFifo(dir, trace, fifo, options);
  const int tableEnd = ::open(fifo.c_str(), O_RDONLY);
  std::string table = readAll(tableEnd, 1);
  ::kill(pid, signal);
  table += readAll(tableEnd);
  ::close(tableEnd);
  EXPECT_EQ(exitStatus(pid), 128 + signal);
  return table;
}

pid_t launchIntoPipe(const TempDir& dir, const std::string& trace, int& tableEnd,
                     const std::string& output = "-o/dev/stdout") {
  int pipeEnds[2];
  EXPECT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  Launch what;
  what.arguments = {"-i" + trace, output};
  what.out = pipeEnds[1];
  what.err = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = launch(what);
  ::close(pipeEnds[1]);
  ::close(what.err);
  tableEnd = pipeEnds[0];
  return pid;
}

TEST(WriteFailures, FifoReaderThatExits) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  const std::string fifo = dir.file("table.fifo");
  const pid_t pid = launchIntoFifo(dir, trace, fifo);
  const int table = ::open(fifo.c_str(), O_RDONLY);
  EXPECT_EQ(readAll(table, 1000).size(), 1000u);
  ::close(table);
  EXPECT_EQ(exitStatus(pid), 1);
  EXPECT_EQ(readFile(dir.file("stdout")), kCannotWrite);
  EXPECT_EQ(readFile(dir.file("stderr")), "qnvtab: " + fifo + ": cannot write: Broken pipe\n");
}

// The table on standard output, read by a pipe that closes early: the
// console text is on standard error then; -o- ends the run without a word,
// as `qnvtab -o- | head` expects.
TEST(WriteFailures, PipeReaderThatExits) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  for (const std::string output : {"-o/dev/stdout", "-o-"}) {
    SCOPED_TRACE(output);
    int tableEnd = -1;
    const pid_t pid = launchIntoPipe(dir, trace, tableEnd, output);
    EXPECT_EQ(readAll(tableEnd, 1000).size(), 1000u);
    ::close(tableEnd);
    EXPECT_EQ(exitStatus(pid), 1);
    EXPECT_EQ(
        readFile(dir.file("stderr")),
        output == "-o-" ? "" : "qnvtab: /dev/stdout: cannot write: Broken pipe\n" + kCannotWrite);
  }
}

// Cut by the limit, the table ends with the last whole row that fitted.
TEST(WriteFailures, FileSizeLimit) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  const std::string full = fullTable(dir, trace);
  const std::string output = dir.file("limited.xls");
  Launch what;
  what.arguments = {"-i" + trace, "-o" + output};
  what.limitedResource = RLIMIT_FSIZE;
  what.limit = 100000;
  const Captured run = runCaptured(dir, what);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kCannotWrite);
  EXPECT_EQ(run.err, "qnvtab: " + output + ": cannot write: File too large\n");
  const std::string table = readFile(output);
  ASSERT_GT(table.size(), 90000u);
  EXPECT_LE(table.size(), 100000u);
  EXPECT_TRUE(table == full.substr(0, table.size()));
  EXPECT_EQ(table.substr(table.size() - 2), "\r\n");
}

// Reads of the input fail from the header's, the footer's (the second read;
// the third finds the end of the file), the first block's, or the second
// window of blocks on.
TEST(ReadFailures, InjectedInputOutputError) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  const std::string full = fullTable(dir, trace);
  const std::pair<const char*, std::string> cases[] = {
      {"1", ": header: reading failed: Input/output error\n"},
      {"2", ": footer: reading failed: Input/output error\n"},
      {"4", ": block 1 at offset 203: reading failed: Input/output error\n"},
      {"5", ": reading failed: Input/output error\n"},
  };
  for (const auto& [failingRead, diagnosis] : cases) {
    SCOPED_TRACE(failingRead);
    Launch what;
    what.arguments = {"-i" + trace, "-o" + dir.file("out.xls")};
    what.environment = {std::string("LD_PRELOAD=") + QNVTAB_READ_ERROR_SHIM,
                        std::string("QNVTAB_FAIL_READ=") + failingRead,
                        // The shim comes before the sanitizer runtime.
                        "ASAN_OPTIONS=verify_asan_link_order=0"};
    const Captured run = runCaptured(dir, what);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Invalid input file format or bad input file version!\n");
    EXPECT_EQ(run.err.rfind("qnvtab: " + trace + ": ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), diagnosis.size())),
              diagnosis);
    const std::string table = readFile(dir.file("out.xls"));
    EXPECT_TRUE(table == full.substr(0, table.size()));
    if (std::string(failingRead) == "5") {
      EXPECT_GT(table.size(), 100000u);
    }
  }
}

TEST(OpenRefusals, EachWithItsReason) {
  TempDir dir;
  const std::string trace = dir.file("trace.qnv");
  testing::writeFile(trace, largeTrace());
  ::mkdir(dir.file("folder").c_str(), 0755);
  const std::string tooLong = dir.file(std::string(300, 'n'));
  struct Case {
    std::string input, output, message, shownPath, reason;
  };
  std::vector<Case> cases = {
      {dir.file("missing.qnv"), dir.file("o.xls"), "Cannot open input file!\n",
       dir.file("missing.qnv"), "No such file or directory"},
      {dir.file("folder"), dir.file("o.xls"), "Cannot open input file!\n", dir.file("folder"),
       "Is a directory"},
      {"", dir.file("o.xls"), "Cannot open input file!\n", "''", "No such file or directory"},
      {tooLong, dir.file("o.xls"), "Cannot open input file!\n", tooLong, "File name too long"},
      {trace, dir.file("no/o.xls"), "Cannot open output file!\n", dir.file("no/o.xls"),
       "No such file or directory"},
      {trace, dir.file("folder"), "Cannot open output file!\n", dir.file("folder"),
       "Is a directory"},
      {trace, tooLong, "Cannot open output file!\n", tooLong, "File name too long"},
      {trace, trace, "Cannot open output file!\n", trace, "the output is the input file"},
  };
  if (::geteuid() != 0) {  // root reads and writes whatever the modes say
    const std::string locked = dir.file("locked");
    testing::writeFile(locked, {1});
    ::chmod(locked.c_str(), 0);
    cases.push_back({locked, dir.file("o.xls"), "Cannot open input file!\n", locked,
                     "Permission denied"});
    cases.push_back({trace, locked, "Cannot open output file!\n", locked, "Permission denied"});
  }
  for (const Case& c : cases) {
    const RunResult run = runQnvtab({"-i" + c.input, "-o" + c.output});
    EXPECT_EQ(run.status, 1) << c.shownPath;
    EXPECT_EQ(run.out, c.message) << c.shownPath;
    EXPECT_EQ(run.err, "qnvtab: " + c.shownPath + ": cannot open: " + c.reason + "\n");
  }
}

// With no descriptor left for the output.
TEST(OpenRefusals, TooManyOpenFiles) {
  TempDir dir;
  const std::string trace = dir.file("trace.qnv");
  testing::writeFile(trace, largeTrace());
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
#endif
  // Standard input, output and error, and the input: the output finds none.
  const std::pair<rlim_t, std::string> cases[] = {{4, "Cannot open output file!\n"}};
  for (const auto& [descriptors, message] : cases) {
    Launch what;
    what.arguments = {"-i" + trace, "-o" + dir.file("o.xls")};
    what.limitedResource = RLIMIT_NOFILE;
    what.limit = descriptors;
    const Captured run = runCaptured(dir, what);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, message);
    EXPECT_NE(run.err.find(": cannot open: Too many open files\n"), std::string::npos) << run.err;
  }
}

// The run is held up by a FIFO that the test does not read: the signal
// comes while the converter waits to write its first megabyte of rows.
TEST(Interruption, StopsAtARowBoundaryAndNamesTheLastEvent) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    const std::string trace = writeLargeTrace(dir);
    const std::string full = fullTable(dir, trace);
    const std::string table = interruptedTable(dir, trace, signal);
    EXPECT_EQ(readFile(dir.file("stdout")), "");

    ASSERT_GT(table.size(), 1000u);
    ASSERT_LT(table.size(), full.size());
    EXPECT_TRUE(table == full.substr(0, table.size()));
    ASSERT_EQ(table.substr(table.size() - 2), "\r\n");
    const size_t lastRow = table.rfind("\r\n", table.size() - 3) + 2;
    const std::string lastEvent = table.substr(lastRow, table.find('\t', lastRow) - lastRow);
    const std::string name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    EXPECT_EQ(readFile(dir.file("stderr")),
              "qnvtab: interrupted after event " + lastEvent + " (" + name + ")\n");
  }
}

// Under a selection the line counts the rows written beside the events read.
TEST(Interruption, UnderASelectionCountsTheRowsWritten) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  const std::string table = interruptedTable(dir, trace, SIGINT, {"--cmd=SD,RV"});
  const std::string err = readFile(dir.file("stderr"));
  std::smatch line;
  ASSERT_TRUE(std::regex_match(
      err, line,
      std::regex(
          "qnvtab: interrupted after event ([0-9]+) read, ([0-9]+) rows written \\(SIGINT\\)\n")))
      << err;
  const size_t rows = static_cast<size_t>(std::count(table.begin(), table.end(), '\n')) - 1;
  EXPECT_EQ(line[2].str(), std::to_string(rows));
  const size_t lastRow = table.rfind("\r\n", table.size() - 3) + 2;
  EXPECT_GE(std::stoll(line[1].str()),
            std::stoll(table.substr(lastRow, table.find('\t', lastRow) - lastRow)));
}

// `qnvtab -iT.QNV -o- | grep ...`: the table alone on the pipe, on one
// thread and on several, with a salvage report and a summary beside it on
// standard error.
TEST(StandardOutput, TableThroughAPipeUnchanged) {
  TempDir dir;
  const std::string trace = writeLargeTrace(dir);
  const std::string full = fullTable(dir, trace);
  for (const std::string output : {"-o/dev/stdout", "-o-"}) {
    SCOPED_TRACE(output);
    const std::string name = output.substr(2);
    int tableEnd = -1;
    const pid_t pid = launchIntoPipe(dir, trace, tableEnd, output);
    const std::string table = readAll(tableEnd);
    ::close(tableEnd);
    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_TRUE(table == full);
    EXPECT_EQ(readFile(dir.file("stderr")), testing::successText(trace, name));

    // Standard output a file, named or not.
    for (const char* threads : {"--threads=1", "--threads=4"}) {
      const RunResult toFile = runQnvtab({"-i" + trace, output, threads});
      EXPECT_EQ(toFile.status, 0);
      EXPECT_TRUE(toFile.out == full);
      EXPECT_EQ(toFile.err, testing::successText(trace, name));
    }
    const RunResult looked = runQnvtab({"-i" + trace, output, "--salvage", "--info=json"});
    EXPECT_EQ(looked.status, 0);
    EXPECT_TRUE(looked.out == full);
    EXPECT_NE(looked.err.find("\"integrity\""), std::string::npos);
  }
  // A file named "-" is reached as ./-.
  const RunResult dashFile = runQnvtab({"-i" + trace, "-o./-"}, dir.path());
  EXPECT_EQ(dashFile.status, 0);
  EXPECT_TRUE(readFile(dir.file("-")) == full);
}

// Escaped on standard error, shown as given on standard output.
TEST(ControlCharacters, FileNamesEscapedInDiagnoses) {
  TempDir dir;
  const std::string raw = dir.file("new\nline\x1B[2J.qnv");
  const std::string shown = dir.file("new\\nline\\x1B[2J.qnv");
  const RunResult missing = runQnvtab({"-i" + raw, "-o" + dir.file("o.xls")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "Cannot open input file!\n");
  EXPECT_EQ(missing.err, "qnvtab: " + shown + ": cannot open: No such file or directory\n");

  Bytes cut = largeTrace();
  cut.resize(100000);
  testing::writeFile(raw, cut);
  const RunResult faulty = runQnvtab({"-i" + raw, "-o" + dir.file("o.xls")});
  EXPECT_EQ(faulty.status, 1);
  EXPECT_EQ(faulty.err.rfind("qnvtab: " + shown + ": ", 0), 0u) << faulty.err;
  EXPECT_EQ(faulty.err.find("\nline"), std::string::npos) << faulty.err;
  EXPECT_EQ(faulty.err.find('\x1B'), std::string::npos) << faulty.err;

  testing::writeFile(raw, largeTrace());
  const std::string rawOutput = dir.file("out\x1B]0;title\x07.xls");
  const RunResult converted = runQnvtab({"-i" + raw, "-o" + rawOutput});
  EXPECT_EQ(converted.status, 0);
  EXPECT_EQ(converted.out, testing::successText(raw, rawOutput));

  // A database keeps a name as its bytes, whatever they are; the console
  // shows it escaped.
  const std::string notUtf8 = dir.file("\xFF\xFEnot utf-8.qnv");
  testing::writeFile(notUtf8, cut);
  const RunResult several =
      runQnvtab({"--format=sqlite", "-o" + dir.file("names.db"), "--", notUtf8, raw, raw + "x"});
  EXPECT_EQ(several.status, 1);
  EXPECT_NE(several.err.find("qnvtab: " + shown + "x: cannot open: "), std::string::npos)
      << several.err;
  EXPECT_EQ(several.err.find('\x1B'), std::string::npos) << several.err;
  const testing::Database db = testing::openDatabase(dir.file("names.db"));
  const auto hexOf = [](const std::string& bytes) {
    std::string hex;
    for (const unsigned char byte : bytes) {
      hex += "0123456789ABCDEF"[byte >> 4];
      hex += "0123456789ABCDEF"[byte & 15];
    }
    return hex;
  };
  EXPECT_EQ(
      testing::query(db.get(), "SELECT hex(file), typeof(file) FROM traces ORDER BY trace_id"),
      (testing::Rows{{hexOf(notUtf8), "text"}, {hexOf(raw), "text"}}));
}

}  // namespace
}  // namespace qnvtab
