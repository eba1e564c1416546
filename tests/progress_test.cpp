// The progress line, end to end: shown on a terminal once a conversion has
// run for a second, erased before the completion message, and never shown
// when standard error is not a terminal. The output is a FIFO that the test
// drains only after a pause, which holds the conversion up long enough.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "harness.h"
#include "writer/trace_writer.h"

extern char** environ;

namespace qnvtab {
namespace {

using namespace qnvtab::builder;
using qnvtab::testing::TempDir;

// A trace whose table is several megabytes: far more than the pipe and the
// converter's output buffer hold.
Bytes largeTrace() {
  std::vector<EventSpec> events(20000);
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].timeStamp = static_cast<uint32_t>(1000 + i * 3);
    events[i].cmd = 0x14;
    events[i].data.assign(40, static_cast<uint8_t>(i));
    events[i].length = 40;
  }
  TraceSpec plan;
  plan.blockSize = 8192;
  plan.mode = BlockMode::Stored;
  return buildTrace(plan, encodeEvents(events, 8)).bytes;
}

struct SlowRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs qnvtab into a FIFO that is drained only after `pause`, with standard
// error on `errorFd`.
SlowRun runIntoSlowReader(const TempDir& dir, int errorFd, std::chrono::milliseconds pause) {
  const std::string trace = dir.file("trace.qnv");
  const std::string fifo = dir.file("table.fifo");
  testing::writeFile(trace, largeTrace());
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  std::string binary = QNVTAB_BINARY;
  std::string input = "-i" + trace;
  std::string output = "-o" + fifo;
  char* argv[] = {binary.data(), input.data(), output.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, dir.file("stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  pid_t pid = 0;
  SlowRun run;
  if (posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv, environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);

  const int table = ::open(fifo.c_str(), O_RDONLY);
  std::this_thread::sleep_for(pause);
  char chunk[1 << 16];
  while (::read(table, chunk, sizeof chunk) > 0) {
  }
  ::close(table);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = testing::readFile(dir.file("stdout"));
  return run;
}

std::string drain(int fd) {
  std::string text;
  char chunk[4096];
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN) != 0) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    text.append(chunk, static_cast<size_t>(got));
  }
  return text;
}

TEST(ProgressLineEndToEnd, ShownOnATerminalAndErasedBeforeTheMessages) {
  TempDir dir;
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  const int errorSide = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
  ASSERT_GE(errorSide, 0);

  const SlowRun run = runIntoSlowReader(dir, errorSide, std::chrono::milliseconds(1500));
  ::close(errorSide);
  const std::string err = drain(terminal);
  ::close(terminal);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, testing::successText(dir.file("trace.qnv"), dir.file("table.fifo")));
  EXPECT_EQ(err.rfind("\rqnvtab: ", 0), 0u) << err;
  EXPECT_NE(err.find("% done, "), std::string::npos) << err;
  EXPECT_NE(err.find(" M events/s, "), std::string::npos) << err;
  // The last thing written blanks the line and returns to its start.
  const size_t lastReturn = err.rfind('\r', err.size() - 2);
  EXPECT_EQ(err.back(), '\r');
  EXPECT_EQ(err.find_first_not_of(' ', lastReturn + 1), err.size() - 1) << err;
}

TEST(ProgressLineEndToEnd, NeverShownWhenStandardErrorIsNotATerminal) {
  TempDir dir;
  const int errorFile = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(errorFile, 0);
  const SlowRun run = runIntoSlowReader(dir, errorFile, std::chrono::milliseconds(1500));
  ::close(errorFile);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(testing::readFile(dir.file("stderr")), "");
}

}  // namespace
}  // namespace qnvtab
