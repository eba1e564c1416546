#include "events/record_resync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::EventSpec;

constexpr const layout::EventHeadLayout& kHead = layout::kEventHead25;

// `count` events from stamp 200000 on, 7 ms apart, with `dataSize(i)` bytes
// of counting data each; `starts` receives where each record begins.
Bytes stream(size_t count, std::vector<size_t>& starts, size_t (*dataSize)(size_t)) {
  std::vector<EventSpec> events;
  for (size_t i = 0; i < count; ++i) {
    EventSpec event;
    event.timeStamp = static_cast<uint32_t>(200'000 + 7 * i);
    event.cmd = 0x14;
    event.poIn = static_cast<uint16_t>(i % 4);
    event.bufferAddress = 0x002C0000 + static_cast<uint32_t>(64 * i);
    for (size_t b = 0; b < dataSize(i); ++b) event.data.push_back(static_cast<uint8_t>(b * 37 + i));
    event.length = static_cast<uint16_t>(event.data.size());
    events.push_back(event);
  }
  Bytes bytes;
  for (const EventSpec& event : events) {
    starts.push_back(bytes.size());
    const Bytes record = builder::encodeEvent(event, 8);
    bytes.insert(bytes.end(), record.begin(), record.end());
  }
  starts.push_back(bytes.size());
  return bytes;
}

size_t mixedSizes(size_t i) { return i % 4 == 0 ? 0 : (i * 13) % 60; }

ChainRules rulesWithAnchor(std::optional<uint32_t> anchor) {
  return chooseChainRules(RecordHealth{}, anchor, 1024);
}

struct Case {
  const char* name;
  size_t cutFirst;  // the bytes held begin this far into record 3
  size_t events;
  bool lastBytes;
  bool mayWait;
  std::optional<uint32_t> anchor;
  BoundarySearch::Result result;
  size_t boundaryRecord;  // Found: the record found, counted from 0
};

TEST(RecordResync, FindsTheFirstWholeRecordAfterTheCut) {
  const Case cases[] = {
      {"a long chain after the cut", 10, 60, false, false, 200'000, BoundarySearch::Found, 4},
      {"a cut at a record boundary", 0, 60, false, false, 200'000, BoundarySearch::Found, 3},
      {"no anchor", 17, 60, false, false, std::nullopt, BoundarySearch::Found, 4},
      {"too few records yet: wait", 10, 8, false, true, 200'000, BoundarySearch::NeedMoreData, 0},
      {"too few records, but the data ends", 10, 8, true, false, 200'000, BoundarySearch::Found, 4},
      {"one record that ends with the data", 10, 5, true, false, 200'000, BoundarySearch::Found, 4},
      {"one record, more data to come", 10, 5, false, false, 200'000, BoundarySearch::NotFound, 0},
      {"stamped before the anchor", 10, 60, false, false, 900'000, BoundarySearch::NotFound, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<size_t> starts;
    const Bytes all = stream(c.events, starts, mixedSizes);
    const size_t from = starts[3] + c.cutFirst;
    const std::span<const uint8_t> held(all.data() + from, all.size() - from);
    BoundaryFinder finder;
    const BoundarySearch found =
        finder.find(held, kHead, rulesWithAnchor(c.anchor), c.lastBytes, c.mayWait);
    EXPECT_EQ(found.result, c.result);
    if (c.result == BoundarySearch::Found) {
      EXPECT_EQ(found.offset, starts[c.boundaryRecord] - from);
    } else if (c.result == BoundarySearch::NotFound) {
      EXPECT_EQ(found.offset, held.size());
    }
  }
}

// Chance bytes that frame as records: zeros, and a head whose length
// reaches past the records at hand.
TEST(RecordResync, ChanceBytesAreSkippedNotGuessedAt) {
  BoundaryFinder finder;
  const Bytes zeros(3000, 0);
  EXPECT_EQ(finder.find(zeros, kHead, rulesWithAnchor(200'000), true, false).result,
            BoundarySearch::NotFound);

  std::vector<size_t> starts;
  Bytes all = stream(40, starts, mixedSizes);
  // The record at the start of the held bytes claims to reach record 30:
  // a chain from its head runs over the true records and lands on one.
  const size_t lands = starts[30] - starts[2] - kHead.size;
  storeU16(&all[starts[2] + kHead.contentLength], static_cast<uint16_t>(lands));
  const std::span<const uint8_t> held(all.data() + starts[2] - 3, all.size() - starts[2] + 3);
  const ChainRules rules = chooseChainRules(RecordHealth{}, 200'000, 4096);
  const BoundarySearch found = finder.find(held, kHead, rules, false, false);
  ASSERT_EQ(found.result, BoundarySearch::Found);
  // The long record at 2 begins first: it may be an event whose data holds
  // records 3 to 29, so neither parse is believed before they join.
  EXPECT_EQ(found.offset, starts[30] - starts[2] + 3);
  // Unless it is far larger than any intact record: then it is chance
  // bytes, and the finer parse stands, from record 3 on.
  ChainRules known = rules;
  known.largestKnownRecord = 60;
  const BoundarySearch finer = finder.find(held, kHead, known, false, false);
  ASSERT_EQ(finer.result, BoundarySearch::Found);
  EXPECT_EQ(finer.offset, starts[3] - starts[2] + 3);
  // Too few records after the join to confirm it, and more bytes to come:
  // only the bytes before the join go.
  const std::span<const uint8_t> shorter(held.data(), starts[37] - starts[2] + 3);
  const BoundarySearch waiting = finder.find(shorter, kHead, rules, false, false);
  EXPECT_EQ(waiting.result, BoundarySearch::NotFound);
  EXPECT_EQ(waiting.offset, starts[30] - starts[2] + 3);
}

// An event whose data carries whole records, as a trace read back over the
// link does: its records frame as finely as events.
TEST(RecordResync, RecordsCarriedInDataAreNotTakenForEvents) {
  std::vector<size_t> starts;
  Bytes all = stream(30, starts, mixedSizes);
  std::vector<size_t> innerStarts;
  const Bytes inner = stream(6, innerStarts, mixedSizes);
  // Event 20 carries six records; the events after it follow it.
  EventSpec carrier;
  carrier.timeStamp = loadU32(&all[starts[20] + kHead.timeStamp]);
  carrier.cmd = 0x14;
  carrier.data = inner;
  carrier.length = static_cast<uint16_t>(inner.size());
  const Bytes record = builder::encodeEvent(carrier, 8);
  all.erase(all.begin() + static_cast<ptrdiff_t>(starts[20]),
            all.begin() + static_cast<ptrdiff_t>(starts[21]));
  all.insert(all.begin() + static_cast<ptrdiff_t>(starts[20]), record.begin(), record.end());
  const size_t after = starts[20] + record.size();  // event 21
  const size_t innerFirst = starts[20] + kHead.size;

  struct Case {
    const char* name;
    size_t from;  // where the bytes held begin
    size_t to;    // and end: no more bytes follow
    bool traceEnds;
    BoundarySearch::Result result;
    size_t boundary;  // Found: in `all`
  };
  const Case cases[] = {
      // Neither the carrier nor its records are believed before event 21.
      {"the carrier's head held", starts[18] + 5, all.size(), false, BoundarySearch::Found, after},
      // Nothing tells its records from events: beyond any check.
      {"the carrier's head lost", innerFirst + 3, all.size(), false, BoundarySearch::Found,
       innerFirst + innerStarts[1]},
      // Where the trace ends, in a trace whose records carry records, a
      // chain too short to confirm itself is not believed: the carrier may
      // end there too.
      {"its records at the trace's end", innerFirst + 3, after, true, BoundarySearch::NotFound, 0},
      {"its records before a fault", innerFirst + 3, after, false, BoundarySearch::Found,
       innerFirst + innerStarts[1]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::span<const uint8_t> held(all.data() + c.from, c.to - c.from);
    ChainRules rules = rulesWithAnchor(200'000);
    rules.traceEnds = c.traceEnds;
    rules.dataCarriesRecords = true;
    BoundaryFinder finder;
    const BoundarySearch found = finder.find(held, kHead, rules, true, false);
    EXPECT_EQ(found.result, c.result);
    if (c.result == BoundarySearch::Found) {
      EXPECT_EQ(found.offset + c.from, c.boundary);
    }
  }
}

// A head shifted by one byte reads a stamp 256 times the true one and, when
// the address's top byte and the length are zero, frames like a record.
// Only the true chain runs on past the first record with data.
TEST(RecordResync, ShiftedHeadsDoNotMakeAChain) {
  std::vector<size_t> starts;
  const Bytes all = stream(60, starts, [](size_t i) -> size_t { return i % 9 == 0 ? 12 : 0; });
  const std::span<const uint8_t> held(all.data() + starts[5] - 1, all.size() - starts[5] + 1);
  BoundaryFinder finder;
  const BoundarySearch found = finder.find(held, kHead, rulesWithAnchor(200'000), false, false);
  ASSERT_EQ(found.result, BoundarySearch::Found);
  EXPECT_EQ(found.offset, 1u);
}

// Stamps that run back further than the trace has shown, or jump ahead by
// more than a minute while its habits are unknown, break a chain.
TEST(RecordResync, StampsBoundTheChain) {
  for (const int64_t jump : {int64_t{-8}, int64_t{-60'008}, int64_t{60'001}}) {
    SCOPED_TRACE(jump);
    std::vector<size_t> starts;
    Bytes all = stream(40, starts, mixedSizes);
    // Every stamp from record 12 on moves by `jump`.
    for (size_t i = 12; i < 40; ++i) {
      const uint32_t stamp = loadU32(&all[starts[i] + kHead.timeStamp]);
      storeU32(&all[starts[i] + kHead.timeStamp], static_cast<uint32_t>(stamp + jump));
    }
    const std::span<const uint8_t> held(all.data() + starts[3] + 5, all.size() - starts[3] - 5);
    BoundaryFinder finder;
    const BoundarySearch found =
        finder.find(held, kHead, rulesWithAnchor(std::nullopt), false, false);
    ASSERT_EQ(found.result, BoundarySearch::Found);
    EXPECT_EQ(found.offset, starts[12] - starts[3] - 5);
  }
}

TEST(RecordResync, RulesFollowWhatTheIntactRecordsShow) {
  std::vector<size_t> starts;
  Bytes all = stream(20, starts, mixedSizes);
  storeU32(&all[starts[10] + kHead.timeStamp], 200'063 - 300);  // back 300 ms
  for (size_t i = 15; i < 20; ++i) {  // ahead 2007 ms from record 14 to 15
    storeU32(&all[starts[i] + kHead.timeStamp], static_cast<uint32_t>(202'000 + 7 * i));
  }
  RecordHealth health;
  health.observe(RecordRun{all.data(), all.size(), 20, 1}, kHead);
  EXPECT_EQ(health.records(), 20u);
  EXPECT_TRUE(health.commandsKnown());
  const ChainRules rules = chooseChainRules(health, 7, 4096);
  EXPECT_TRUE(rules.knownCommand);
  EXPECT_EQ(rules.anchorStamp, std::optional<uint32_t>(202'000 + 7 * 19));
  EXPECT_EQ(rules.maxBackStep, 300u);
  EXPECT_EQ(rules.maxForwardStep, 64u * 2007);
  EXPECT_EQ(rules.maxRecord, 4096u);
  size_t largest = 0;
  for (size_t i = 0; i < 20; ++i) largest = std::max(largest, kHead.size + mixedSizes(i));
  EXPECT_EQ(rules.largestKnownRecord, largest);
}

}  // namespace
}  // namespace qnvtab
