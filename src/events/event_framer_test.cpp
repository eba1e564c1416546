#include "events/event_framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::EventSpec;

const layout::EventHeadLayout& kHead = layout::kEventHead25;

EventSpec eventWithData(size_t size, uint8_t seed) {
  EventSpec event;
  event.timeStamp = 1000 + seed;
  for (size_t k = 0; k < size; ++k) event.data.push_back(static_cast<uint8_t>(k * 11 + seed));
  return event;
}

// Puts `bytes` into the framer as a block expansion would.
void feed(EventFramer& framer, const uint8_t* bytes, size_t size) {
  const std::span<uint8_t> room = framer.freeSpace();
  ASSERT_LE(size, room.size());
  std::memcpy(room.data(), bytes, size);
  framer.commit(size);
}

TEST(EventFramer, NumbersRunOnAcrossRuns) {
  EventFramer framer(kHead, 512);
  ASSERT_TRUE(framer.allocated());
  const Bytes first = builder::encodeEvents({eventWithData(3, 0), eventWithData(0, 1)}, 8);
  feed(framer, first.data(), first.size());
  const RecordRun a = framer.takeRecords();
  EXPECT_EQ(a.count, 2u);
  EXPECT_EQ(a.firstNumber, 1);
  EXPECT_EQ(Bytes(a.bytes, a.bytes + a.size), first);
  EXPECT_EQ(framer.carriedBytes(), 0u);  // ended exactly at a record boundary
  const Bytes second = builder::encodeEvent(eventWithData(1, 2), 8);
  feed(framer, second.data(), second.size());
  const RecordRun b = framer.takeRecords();
  EXPECT_EQ(b.count, 1u);
  EXPECT_EQ(b.firstNumber, 3);
  EXPECT_EQ(framer.lastEventNumber(), 3);
  // Nothing new: an empty run, numbered after the last.
  const RecordRun none = framer.takeRecords();
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.size, 0u);
  EXPECT_EQ(none.firstNumber, 4);
}

TEST(EventFramer, IncompleteTailIsCarried) {
  const Bytes complete = builder::encodeEvent(eventWithData(5, 0), 8);
  const Bytes next = builder::encodeEvent(eventWithData(8, 1), 8);
  for (size_t tail : {size_t{1}, size_t{24}, size_t{25}, size_t{28}, next.size() - 1}) {
    SCOPED_TRACE(tail);
    EventFramer framer(kHead, 128);
    Bytes stream = complete;
    stream.insert(stream.end(), next.begin(), next.begin() + static_cast<ptrdiff_t>(tail));
    feed(framer, stream.data(), stream.size());
    EXPECT_EQ(framer.takeRecords().count, 1u);
    EXPECT_EQ(framer.carriedBytes(), tail);
    EXPECT_EQ(framer.takeRecords().count, 0u);
    // The carried bytes move to the front, and the rest completes them.
    const std::span<uint8_t> room = framer.freeSpace();
    EXPECT_EQ(room.size(), 128 - tail);
    feed(framer, next.data() + tail, next.size() - tail);
    const RecordRun run = framer.takeRecords();
    ASSERT_EQ(run.count, 1u);
    EXPECT_EQ(Bytes(run.bytes, run.bytes + run.size), next);
    EXPECT_EQ(run.firstNumber, 2);
  }
}

// Fed in pieces as blocks expand, each record is framed exactly once, by
// the piece that completes it, and the runs together are the stream.
TEST(EventFramer, RecordsSplitAcrossPiecesAreFramedOnceWhenComplete) {
  std::vector<EventSpec> events;
  for (uint8_t i = 0; i < 12; ++i) events.push_back(eventWithData((i * 37) % 90, i));
  const Bytes stream = builder::encodeEvents(events, 8);
  std::vector<size_t> recordEnds;
  size_t end = 0;
  for (const EventSpec& event : events) recordEnds.push_back(end += 25 + event.data.size());

  for (size_t piece : {1u, 2u, 7u, 24u, 25u, 26u, 40u, 100u}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    EventFramer framer(kHead, 256);
    Bytes framed;
    for (size_t fed = 0; fed < stream.size();) {
      const size_t size = std::min(piece, stream.size() - fed);
      feed(framer, stream.data() + fed, size);
      fed += size;
      const RecordRun run = framer.takeRecords();
      framed.insert(framed.end(), run.bytes, run.bytes + run.size);
      const size_t complete = static_cast<size_t>(
          std::upper_bound(recordEnds.begin(), recordEnds.end(), fed) - recordEnds.begin());
      ASSERT_EQ(framer.lastEventNumber(), static_cast<int32_t>(complete)) << "after " << fed;
      ASSERT_EQ(framed.size(), complete == 0 ? 0 : recordEnds[complete - 1]);
    }
    EXPECT_EQ(framed, stream);
    EXPECT_EQ(framer.carriedBytes(), 0u);
  }
}

}  // namespace
}  // namespace qnvtab
