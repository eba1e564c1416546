#include "table/event_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "table_fixtures.h"
#include "trace_builder.h"

namespace qnvtab {
namespace {

using qnvtab::testing::split;
using qnvtab::testing::workedExampleEvent;

using builder::Bytes;
using builder::EventSpec;

// The header as the reader leaves it: the 203-byte form, first-event fields
// filled from version 7 on and zero before.
TraceHeader headerWithFirstEvent(TraceDate date, TraceTime time, uint32_t stamp) {
  builder::HeaderSpec plan;
  plan.version = 8;
  plan.firstEventDate = date;
  plan.firstEventTime = time;
  plan.firstEventStamp = stamp;
  const Bytes image = builder::buildHeader(plan);
  TraceHeader header;
  std::memcpy(header.bytes.data(), image.data(), image.size());
  return header;
}

TraceHeader workedExampleHeader() { return headerWithFirstEvent({19, 5, 2008}, {10, 20, 30}, 1000); }

TraceHeader headerWithoutFirstEvent() { return TraceHeader::fresh(); }


EventSpec stampedAt(uint32_t stamp, size_t dataSize = 0) {
  EventSpec event;
  event.timeStamp = stamp;
  event.cmd = 0x15;
  event.data.assign(dataSize, 0x5A);
  event.length = static_cast<uint16_t>(dataSize);
  return event;
}

struct RowsResult {
  std::string text;
  Bytes left;  // the carried-over bytes at the front of the buffer
};

// One call of writeEventRows on `stream` as the whole buffer content.
RowsResult writeRows(EventRowContext& context, int32_t& counter, const Bytes& stream) {
  StringSink sink;
  Bytes buffer = stream;
  buffer.resize(stream.size() + 64, 0xEE);
  int32_t used = static_cast<int32_t>(stream.size());
  {
    OutputBuffer out(sink, 32);  // smaller than a row: every row asks for more room
    writeEventRows(context, counter, out, buffer.data(), used);
    EXPECT_TRUE(out.flush());
  }
  return {sink.text, Bytes(buffer.begin(), buffer.begin() + used)};
}

std::string rowsOf(const TraceHeader& header, uint16_t version, DataFormat format,
                   uint32_t referenceStamp, const std::vector<EventSpec>& events,
                   int32_t counter = 0) {
  EventRowContext context = makeEventRowContext(header, version, format, referenceStamp);
  const RowsResult result = writeRows(context, counter, builder::encodeEvents(events, version));
  EXPECT_TRUE(result.left.empty());
  return result.text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated line: " << text.substr(start);
      break;
    }
    result.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return result;
}

// "DDMMYY HHMMSS" of a row.
std::string dateAndTime(const std::string& row) {
  const std::vector<std::string> cells = split(row, "\t");
  return cells.size() > 3 ? cells[2] + " " + cells[3] : "";
}

std::string onlyRowDateAndTime(const TraceHeader& header, uint16_t version, uint32_t stamp) {
  const std::vector<std::string> rows =
      lines(rowsOf(header, version, DataFormat::Hex, 0, {stampedAt(stamp)}));
  return rows.size() == 1 ? dateAndTime(rows[0]) : "no single row";
}

const char kWorkedRowHead[] =
    "7\t6000\t190508\t102035\t\"SD\"\t\"P\"\t\"x00\"\t3\t\"x0012\"\t0\t\"x0000\"\t\"x01\"\t4\tx00002C00\t";

TEST(EventRows, WorkedExampleInEveryFormat) {
  const TraceHeader header = workedExampleHeader();
  const std::vector<EventSpec> event = {workedExampleEvent()};
  const std::string head = kWorkedRowHead;
  EXPECT_EQ(rowsOf(header, 8, DataFormat::Hex, 0, event, 6), head + "\"41 42 0D 0A\"\r\n");
  EXPECT_EQ(rowsOf(header, 8, DataFormat::Ascii, 0, event, 6), head + "\" A  B 0D 0A\"\r\n");
  EXPECT_EQ(rowsOf(header, 8, DataFormat::HexAscii, 0, event, 6),
            head + "\"41 42 0D 0A\"\t\"A B . .\"\r\n");
  // Times relative to the first event's stamp change the time cell only.
  std::string relative = head;
  relative.replace(relative.find("\t6000\t"), 6, "\t5000\t");
  EXPECT_EQ(rowsOf(header, 8, DataFormat::Hex, 1000, event, 6),
            relative + "\"41 42 0D 0A\"\r\n");
}

TEST(EventRows, EventWithoutDataEndsWithTheTabAfterTheAddress) {
  EventSpec event = workedExampleEvent();
  event.data.clear();
  const std::string expected = std::string(kWorkedRowHead) + "\r\n";
  for (DataFormat format : {DataFormat::Hex, DataFormat::Ascii, DataFormat::HexAscii}) {
    const std::string row = rowsOf(workedExampleHeader(), 8, format, 0, {event}, 6);
    EXPECT_EQ(row, expected);
    EXPECT_EQ(split(row.substr(0, row.size() - 2), "\t").size(), 15u);  // 14 cells, 14 TABs
  }
}

TEST(EventRows, CountsOnAcrossCallsAndConsumesInPlace) {
  const TraceHeader header = workedExampleHeader();
  EventRowContext context = makeEventRowContext(header, 8, DataFormat::Hex, 0);
  int32_t counter = 0;
  const Bytes first = builder::encodeEvents({stampedAt(1000, 3), stampedAt(1001, 0)}, 8);
  const RowsResult a = writeRows(context, counter, first);
  EXPECT_EQ(counter, 2);
  EXPECT_TRUE(a.left.empty());  // ended exactly at a record boundary
  const RowsResult b = writeRows(context, counter, builder::encodeEvent(stampedAt(1002, 1), 8));
  const std::vector<std::string> rows = lines(a.text + b.text);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(split(rows[0], "\t")[0], "1");
  EXPECT_EQ(split(rows[1], "\t")[0], "2");
  EXPECT_EQ(split(rows[2], "\t")[0], "3");
  EXPECT_EQ(counter, 3);
}

TEST(EventRows, IncompleteTailIsMovedToTheFront) {
  const TraceHeader header = workedExampleHeader();
  const Bytes complete = builder::encodeEvent(stampedAt(1000, 5), 8);
  const Bytes next = builder::encodeEvent(stampedAt(1001, 8), 8);
  struct Case {
    const char* what;
    size_t tail;  // bytes of `next` present
  };
  const Case cases[] = {
      {"one byte", 1},
      {"a head minus one byte", 24},
      {"a whole head without its data", 25},
      {"a head and some data", 28},
      {"all but the last data byte", next.size() - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EventRowContext context = makeEventRowContext(header, 8, DataFormat::Hex, 0);
    int32_t counter = 0;
    Bytes stream = complete;
    stream.insert(stream.end(), next.begin(), next.begin() + static_cast<ptrdiff_t>(c.tail));
    const RowsResult result = writeRows(context, counter, stream);
    EXPECT_EQ(lines(result.text).size(), 1u);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(result.left, Bytes(next.begin(), next.begin() + static_cast<ptrdiff_t>(c.tail)));
    // Nothing complete at all: the buffer is left as it is.
    const RowsResult again = writeRows(context, counter, result.left);
    EXPECT_EQ(again.text, "");
    EXPECT_EQ(again.left, result.left);
    EXPECT_EQ(counter, 1);
  }
}

// Feeds the stream in pieces as block expansion does, appending at
// `usedLength`, and checks that each record is written exactly once, by the
// call that completes it.
TEST(EventRows, RecordsSplitAcrossPiecesAreWrittenOnceWhenComplete) {
  const TraceHeader header = workedExampleHeader();
  std::vector<EventSpec> events;
  for (uint32_t i = 0; i < 12; ++i) {
    EventSpec event = stampedAt(1000 + i * 300, (i * 37) % 90);
    event.poIn = static_cast<uint16_t>(i);
    for (size_t k = 0; k < event.data.size(); ++k) event.data[k] = static_cast<uint8_t>(k * 11 + i);
    events.push_back(event);
  }
  const Bytes stream = builder::encodeEvents(events, 8);
  std::vector<size_t> recordEnds;
  size_t end = 0;
  for (const EventSpec& event : events) recordEnds.push_back(end += 25 + event.data.size());

  for (DataFormat format : {DataFormat::Hex, DataFormat::HexAscii}) {
    const std::string whole = rowsOf(header, 8, format, 0, events);
    for (size_t piece : {1u, 2u, 7u, 24u, 25u, 26u, 40u, 100u}) {
      SCOPED_TRACE("pieces of " + std::to_string(piece));
      EventRowContext context = makeEventRowContext(header, 8, format, 0);
      int32_t counter = 0;
      Bytes buffer(2 * 256);
      int32_t used = 0;
      StringSink sink;
      OutputBuffer out(sink, 16);
      for (size_t fed = 0; fed < stream.size();) {
        const size_t size = std::min(piece, stream.size() - fed);
        std::memcpy(buffer.data() + used, stream.data() + fed, size);
        used += static_cast<int32_t>(size);
        fed += size;
        writeEventRows(context, counter, out, buffer.data(), used);
        size_t complete = 0;
        while (complete < recordEnds.size() && recordEnds[complete] <= fed) ++complete;
        ASSERT_EQ(counter, static_cast<int32_t>(complete)) << "after " << fed << " bytes";
        const size_t consumed = complete == 0 ? 0 : recordEnds[complete - 1];
        ASSERT_EQ(static_cast<size_t>(used), fed - consumed);
        ASSERT_EQ(0, std::memcmp(buffer.data(), stream.data() + consumed, fed - consumed));
      }
      ASSERT_TRUE(out.flush());
      EXPECT_EQ(sink.text, whole);
      EXPECT_EQ(used, 0);
    }
  }
}

TEST(EventRows, TimeRelativeToFirstEvent) {
  const TraceHeader header = workedExampleHeader();  // first event stamped 1000
  const std::vector<std::string> rows = lines(rowsOf(
      header, 8, DataFormat::Hex, 1000, {stampedAt(1000), stampedAt(999), stampedAt(0), stampedAt(1)}));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(split(rows[0], "\t")[1], "0");
  EXPECT_EQ(split(rows[1], "\t")[1], "-1");
  EXPECT_EQ(split(rows[2], "\t")[1], "-1000");
  EXPECT_EQ(split(rows[3], "\t")[1], "-999");
  // Without the option the stamp itself, read as a signed number.
  const std::vector<std::string> plain =
      lines(rowsOf(header, 8, DataFormat::Hex, 0, {stampedAt(0xFFFFFFFFu), stampedAt(0x80000000u)}));
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(split(plain[0], "\t")[1], "-1");
  EXPECT_EQ(split(plain[1], "\t")[1], "-2147483648");
}

TEST(EventRows, EventsBeforeTheFirstEventArePlacedBeforeIt) {
  const TraceHeader header = headerWithFirstEvent({19, 5, 2008}, {10, 20, 30}, 5000);
  for (uint16_t version : {7, 8}) {
    SCOPED_TRACE(version);
    EXPECT_EQ(onlyRowDateAndTime(header, version, 5000), "190508 102030");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 5999), "190508 102030");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 6000), "190508 102031");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 4999), "190508 102029");  // 1 ms before
    EXPECT_EQ(onlyRowDateAndTime(header, version, 4000), "190508 102029");  // 1000 ms before
    EXPECT_EQ(onlyRowDateAndTime(header, version, 3999), "190508 102028");  // 1001 ms before
    EXPECT_EQ(onlyRowDateAndTime(header, version, 0), "190508 102025");
    // Stamps that wrapped below zero are still just before the first event.
    EXPECT_EQ(onlyRowDateAndTime(header, version, 0xFFFFFFFFu), "190508 102024");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 5000 + 86400000u), "200508 102030");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 5000 - 86400000u), "180508 102030");
  }
  // One millisecond before midnight of New Year's Day.
  const TraceHeader newYear = headerWithFirstEvent({1, 1, 2009}, {0, 0, 0}, 100);
  EXPECT_EQ(onlyRowDateAndTime(newYear, 8, 99), "311208 235959");
}

TEST(EventRows, OldVersionsCountFromTheEpochWithUnsignedStamps) {
  const TraceHeader header = headerWithoutFirstEvent();
  for (uint16_t version : {5, 6}) {
    SCOPED_TRACE(version);
    EXPECT_EQ(onlyRowDateAndTime(header, version, 0), "010180 000000");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 1), "010180 000000");  // milliseconds, not seconds
    EXPECT_EQ(onlyRowDateAndTime(header, version, 999), "010180 000000");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 1000), "010180 000001");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 3723000), "010180 010203");
    EXPECT_EQ(onlyRowDateAndTime(header, version, 0xFFFFFFFFu), "190280 170247");
  }
}

TEST(EventRows, HeadLayoutDecidesTheLsnWidth) {
  EventSpec event = workedExampleEvent();
  event.lsnIn = 0xAB;
  event.lsnOut = 0x07;
  const TraceHeader header = headerWithoutFirstEvent();
  const std::vector<std::string> narrow =
      split(lines(rowsOf(header, 5, DataFormat::Hex, 0, {event}))[0], "\t");
  ASSERT_EQ(narrow.size(), 15u);
  EXPECT_EQ(narrow[8], "\"xAB\"");
  EXPECT_EQ(narrow[10], "\"x07\"");
  EXPECT_EQ(narrow[14], "\"41 42 0D 0A\"");  // the 23-byte head is followed by the data
  event.lsnIn = 0xABCD;
  event.lsnOut = 0x0007;
  for (uint16_t version : {6, 7, 8}) {
    const std::vector<std::string> wide =
        split(lines(rowsOf(header, version, DataFormat::Hex, 0, {event}))[0], "\t");
    ASSERT_EQ(wide.size(), 15u);
    EXPECT_EQ(wide[8], "\"xABCD\"");
    EXPECT_EQ(wide[10], "\"x0007\"");
    EXPECT_EQ(wide[14], "\"41 42 0D 0A\"");
  }
}

TEST(EventRows, QuotedAndUnquotedCells) {
  EventSpec event = workedExampleEvent();
  event.rc = 0xFF;
  event.cmd = 0x33;
  event.info = 0xC4;
  event.poIn = 65535;
  event.poOut = 4096;
  event.length = 65535;
  event.bufferAddress = 0xFEDCBA98;
  const std::vector<std::string> cells =
      split(lines(rowsOf(workedExampleHeader(), 8, DataFormat::Hex, 0, {event}))[0], "\t");
  const std::vector<std::string> expected = {
      "1", "6000", "190508", "102035", "\"33\"", "\"I\"", "\"xFF\"", "65535",
      "\"x0012\"", "4096", "\"x0000\"", "\"xC4\"", "65535", "xFEDCBA98", "\"41 42 0D 0A ...\""};
  EXPECT_EQ(cells, expected);
}

// The row writer keeps the date text of the last second and recomputes only
// the clock within a day; the text must be what a fresh computation gives.
TEST(EventRows, CachedDateAndTimeMatchAFreshComputation) {
  struct Start {
    TraceDate date;
    TraceTime time;
  };
  const Start starts[] = {
      {{31, 12, 2099}, {23, 59, 50}},  // midnight and a year end
      {{28, 2, 2008}, {23, 59, 58}},   // into a leap day
      {{28, 2, 2100}, {23, 59, 58}},   // a century without one
      {{19, 5, 2008}, {10, 20, 30}},
  };
  for (const Start& start : starts) {
    const TraceHeader header = headerWithFirstEvent(start.date, start.time, 50000);
    std::vector<EventSpec> events;
    uint32_t stamp = 50000 - 3500;
    for (int i = 0; i < 400; ++i) {
      // Mostly small steps across second boundaries, now and then a jump of
      // days forwards or backwards, and some repeats.
      const int kind = i % 17;
      if (kind == 5) {
        stamp += 86400000u * 3 + 123;
      } else if (kind == 11) {
        stamp -= 86400000u * 2 + 999;
      } else if (kind != 3) {
        stamp += static_cast<uint32_t>(i * 97 % 700);
      }
      events.push_back(stampedAt(stamp));
    }
    std::string fresh;
    int32_t number = 0;
    for (const EventSpec& event : events) fresh += rowsOf(header, 8, DataFormat::Hex, 0, {event}, number++);
    EXPECT_EQ(rowsOf(header, 8, DataFormat::Hex, 0, events), fresh);
  }
}

}  // namespace
}  // namespace qnvtab
