#include "table/output_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qnvtab {
namespace {

// Records every write; the `failOn`-th write (1-based, 0: never) fails, and
// with `forGood` so does every write after it.
class FailingSink : public ByteSink {
 public:
  FailingSink(int failOn, bool forGood) : failOn_(failOn), forGood_(forGood) {}
  bool write(const char* data, size_t size) override {
    ++calls;
    sizes.push_back(size);
    if (failOn_ != 0 && (calls == failOn_ || (forGood_ && calls > failOn_))) return false;
    accepted.append(data, size);
    return true;
  }
  int calls = 0;
  std::vector<size_t> sizes;
  std::string accepted;

 private:
  int failOn_;
  bool forGood_;
};

std::string pattern(size_t size, char first) {
  std::string text(size, ' ');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(first + i % 23);
  return text;
}

void put(OutputBuffer& out, const std::string& text) {
  char* cursor = out.reserve(text.size());
  std::memcpy(cursor, text.data(), text.size());
  out.commit(cursor + text.size());
}

void append(OutputBuffer& out, const std::string& text) { out.append(text.data(), text.size()); }

TEST(OutputBuffer, CollectsUntilFullThenWritesWholeBuffers) {
  FailingSink sink(0, false);
  OutputBuffer out(sink, 16);
  put(out, "0123456789");
  EXPECT_EQ(sink.calls, 0);
  put(out, "abcdefghij");  // does not fit beside the first: the first goes out
  EXPECT_EQ(sink.accepted, "0123456789");
  append(out, pattern(40, 'A'));
  EXPECT_TRUE(out.flush());
  EXPECT_EQ(sink.accepted, "0123456789abcdefghij" + pattern(40, 'A'));
  for (size_t size : sink.sizes) EXPECT_LE(size, 16u);
  const int calls = sink.calls;
  EXPECT_TRUE(out.flush());  // nothing left: no empty write
  EXPECT_EQ(sink.calls, calls);
  EXPECT_FALSE(out.failed());
}

TEST(OutputBuffer, EmptyFlushWritesNothing) {
  FailingSink sink(1, true);
  OutputBuffer out(sink, 16);
  EXPECT_TRUE(out.flush());
  EXPECT_EQ(sink.calls, 0);
  EXPECT_FALSE(out.failed());
}

TEST(OutputBuffer, FailedWriteIsReportedAndLaterWritesAreDropped) {
  for (int failOn = 1; failOn <= 4; ++failOn) {
    for (bool forGood : {false, true}) {
      SCOPED_TRACE("fails on write " + std::to_string(failOn) + (forGood ? " for good" : " once"));
      FailingSink sink(failOn, forGood);
      OutputBuffer out(sink, 8);
      std::string sent;
      for (int i = 0; i < 10; ++i) {
        const std::string piece = pattern(5 + i % 3, static_cast<char>('a' + i));
        sent += piece;
        if (i % 2 == 0) {
          put(out, piece);
        } else {
          append(out, piece);
        }
      }
      EXPECT_FALSE(out.flush());
      EXPECT_TRUE(out.failed());
      EXPECT_FALSE(out.flush());  // stays failed
      // What reached the file is an unbroken front part of what was sent:
      // nothing after the failure slips through and leaves a hole.
      EXPECT_EQ(sink.accepted, sent.substr(0, sink.accepted.size()));
      EXPECT_LT(sink.accepted.size(), sent.size());
      EXPECT_EQ(sink.calls, failOn);
      // Writers carry on without checks of their own.
      append(out, pattern(100, 'x'));
      append(out, "more");
      EXPECT_FALSE(out.flush());
      EXPECT_EQ(sink.calls, failOn);
    }
  }
}

}  // namespace
}  // namespace qnvtab
