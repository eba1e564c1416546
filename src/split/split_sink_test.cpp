#include "split/split_sink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "events/event_record.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

constexpr TraceVersion kVersion{8};

// Notes the event numbers it is given and how often it began and finished.
class RecordingSink : public RowSink {
 public:
  void begin(const TraceHeader&, TraceVersion, const RowOptions&) override { text += "|"; }
  void write(const RecordRun& run) override {
    int32_t number = run.firstNumber;
    for (size_t pos = 0; pos < run.size; pos += recordSize(run.bytes + pos, kVersion.eventHead())) {
      text += " " + std::to_string(number++);
    }
  }
  bool failed() const override { return false; }
  bool finish() override {
    text += " .";
    return true;
  }
  std::string text;
};

// Makes recording parts, and none from part `failingPart` on.
class RecordingParts : public PartFactory {
 public:
  explicit RecordingParts(uint32_t failingPart) : failingPart_(failingPart) {}
  RowSink* makePart(uint32_t number) override {
    if (number >= failingPart_) return nullptr;
    parts_.push_back(std::make_unique<RecordingSink>());
    return parts_.back().get();
  }
  std::string text(const RecordingSink& first) const {
    std::string all = first.text;
    for (const auto& part : parts_) all += part->text;
    return all;
  }

 private:
  uint32_t failingPart_;
  std::vector<std::unique_ptr<RecordingSink>> parts_;
};

struct Case {
  uint64_t rowsPerPart;
  std::vector<uint32_t> runs;  // records per run, numbered on from 1
  uint32_t failingPart;
  const char* parts;  // "|" begins a part, " ." finishes it
  bool finished;
};

TEST(SplitSink, PartsOfRowsPerPart) {
  const Case cases[] = {
      {3, {7}, 99, "| 1 2 3 .| 4 5 6 .| 7 .", true},
      {3, {2, 2, 2}, 99, "| 1 2 3 .| 4 5 6 .", true},  // a full last part: no empty one
      {3, {0, 3, 0}, 99, "| 1 2 3 .", true},
      {2, {1, 4}, 99, "| 1 2 .| 3 4 .| 5 .", true},
      {10, {4, 4}, 99, "| 1 2 3 4 5 6 7 8 .", true},
      {1, {3}, 99, "| 1 .| 2 .| 3 .", true},
      {2, {}, 99, "| .", true},              // no rows: the titles alone
      {2, {5}, 3, "| 1 2 .| 3 4 .", false},  // part 3 cannot be made
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parts);
    RecordingSink first;
    RecordingParts parts(c.failingPart);
    SplitSink sink(c.rowsPerPart, first, parts);
    sink.begin(TraceHeader{}, kVersion, RowOptions{});
    int32_t next = 1;
    for (uint32_t count : c.runs) {
      std::vector<builder::EventSpec> events(count);
      for (uint32_t i = 0; i < count; ++i) events[i].data.assign(i % 3, 'x');
      const builder::Bytes bytes = builder::encodeEvents(events, kVersion.number);
      sink.write(RecordRun{bytes.data(), bytes.size(), count, next});
      next += static_cast<int32_t>(count);
    }
    EXPECT_EQ(sink.failed(), !c.finished);
    EXPECT_EQ(sink.finish(), c.finished);
    EXPECT_EQ(parts.text(first), c.parts);
  }
}

}  // namespace
}  // namespace qnvtab
