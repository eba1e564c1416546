#include "cli/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qnvtab {
namespace {

double fakeNow = 0;
double fakeClock() { return fakeNow; }

// Everything the line has written to its terminal so far.
class FakeTerminal {
 public:
  FakeTerminal() : stream_(open_memstream(&data_, &size_)) {}
  ~FakeTerminal() {
    std::fclose(stream_);
    std::free(data_);
  }
  std::FILE* stream() { return stream_; }
  std::string text() {
    std::fflush(stream_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_;
};

TEST(ProgressLine, QuietDuringTheFirstSecondThenThrottled) {
  FakeTerminal terminal;
  fakeNow = 100;
  {
    ProgressLine line(terminal.stream(), &fakeClock);
    fakeNow = 100.9;
    line.blockConverted(100, 1000, 10);
    EXPECT_EQ(terminal.text(), "");

    fakeNow = 102;  // 2 s in, 10% done: 18 s left
    line.blockConverted(100, 1000, 2000000);
    const std::string shown = "qnvtab: 10% done, 1.00 M events/s, 18 s left";
    EXPECT_EQ(terminal.text(), "\r" + shown);

    fakeNow = 102.1;  // too soon to redraw
    line.blockConverted(500, 1000, 2100000);
    EXPECT_EQ(terminal.text(), "\r" + shown);

    line.clear();
    const std::string text = terminal.text();
    const std::string blank = "\r" + std::string(shown.size(), ' ') + "\r";
    EXPECT_EQ(text.substr(text.size() - blank.size()), blank);
    line.clear();  // nothing shown any more: nothing written
    EXPECT_EQ(terminal.text(), text);
  }
}

TEST(ProgressLine, ShorterTextOverwritesTheLongerOne) {
  FakeTerminal terminal;
  fakeNow = 0;
  ProgressLine line(terminal.stream(), &fakeClock);
  fakeNow = 2;
  line.blockConverted(10, 1000, 1);  // 1% done: 198 s left
  fakeNow = 3;
  line.blockConverted(999, 1000, 1);  // 99% done: 0 s left
  const std::string first = "\rqnvtab: 1% done, 0.00 M events/s, 198 s left";
  const std::string second = "\rqnvtab: 99% done, 0.00 M events/s, 0 s left";
  EXPECT_EQ(terminal.text(), first + second + std::string(first.size() - second.size(), ' '));
}

// Time left by the traces done; none said before the first is done.
TEST(ProgressText, SeveralTracesByTheTracesDone) {
  EXPECT_EQ(tracesProgressText(12, 340, 2500000, 2),
            "qnvtab: 12 of 340 traces done, 1.25 M events/s, 55 s left");
  EXPECT_EQ(tracesProgressText(0, 340, 0, 2), "qnvtab: 0 of 340 traces done, 0.00 M events/s, 0 s left");
  EXPECT_EQ(tracesProgressText(3, 3, 10, 0), "qnvtab: 3 of 3 traces done, 0.00 M events/s, 0 s left");
}

TEST(ProgressText, ShareIsCappedWhenTheDataLengthOvershoots) {
  EXPECT_EQ(progressText(5000, 1000, 0, 1), "qnvtab: 100% done, 0.00 M events/s, 0 s left");
  EXPECT_EQ(progressText(0, 0, 0, 1), "qnvtab: 100% done, 0.00 M events/s, 0 s left");
}

}  // namespace
}  // namespace qnvtab
