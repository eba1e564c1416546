#include "table/tsv_sink.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "events/event_record.h"
#include "string_sink.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

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

// A version-5 header: no first event recorded.
TraceHeader headerWithoutFirstEvent() {
  builder::HeaderSpec plan;
  plan.version = 5;
  const Bytes image = builder::buildHeader(plan);
  TraceHeader header;
  std::memcpy(header.bytes.data(), image.data(), layout::kFirstEventDateOffset);
  return header;
}

EventSpec stampedAt(uint32_t stamp, size_t dataSize = 0) {
  EventSpec event;
  event.timeStamp = stamp;
  event.cmd = 0x15;
  event.data.assign(dataSize, 0x5A);
  event.length = static_cast<uint16_t>(dataSize);
  return event;
}

// The rows the sink writes for `events` as one run, numbered from
// `counter` + 1; `referenceStamp` is 0 or the header's first-event stamp.
std::string rowsOf(const TraceHeader& header, uint16_t version, DataFormat format,
                   uint32_t referenceStamp, const std::vector<EventSpec>& events,
                   int32_t counter = 0) {
  EXPECT_TRUE(referenceStamp == 0 || referenceStamp == header.firstEventStamp());
  const Bytes stream = builder::encodeEvents(events, version);
  StringSink output;
  {
    TsvSink sink(output);
    RowOptions options;
    options.dataFormat = format;
    options.timesRelativeToFirstEvent = referenceStamp != 0;
    sink.begin(header, TraceVersion{version}, options);
    RecordRun run;
    run.bytes = stream.data();
    run.size = stream.size();
    run.count = static_cast<uint32_t>(events.size());
    run.firstNumber = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1);
    sink.write(run);
    EXPECT_TRUE(sink.finish());
  }
  return output.text.substr(output.text.find("\r\n") + 2);  // without the title line
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

TEST(TsvSink, WorkedExampleInEveryFormat) {
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

TEST(TsvSink, EventWithoutDataEndsWithTheTabAfterTheAddress) {
  EventSpec event = workedExampleEvent();
  event.data.clear();
  const std::string expected = std::string(kWorkedRowHead) + "\r\n";
  for (DataFormat format : {DataFormat::Hex, DataFormat::Ascii, DataFormat::HexAscii}) {
    const std::string row = rowsOf(workedExampleHeader(), 8, format, 0, {event}, 6);
    EXPECT_EQ(row, expected);
    EXPECT_EQ(split(row.substr(0, row.size() - 2), "\t").size(), 15u);  // 14 cells, 14 TABs
  }
}

TEST(TsvSink, TimeRelativeToFirstEvent) {
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

TEST(TsvSink, EventsBeforeTheFirstEventArePlacedBeforeIt) {
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

TEST(TsvSink, OldVersionsCountFromTheEpochWithUnsignedStamps) {
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

TEST(TsvSink, HeadLayoutDecidesTheLsnWidth) {
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

TEST(TsvSink, QuotedAndUnquotedCells) {
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
TEST(TsvSink, CachedDateAndTimeMatchAFreshComputation) {
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

// Rows formatted in batches on workers come out as the serial writer's:
// runs larger than a batch (split record by record, with the largest
// record), numbers that skip as after a selection, and numbers that wrap.
TEST(TsvSink, BatchesOnWorkersWriteTheSerialRows) {
  std::vector<EventSpec> events;
  for (uint32_t i = 0; i < 9000; ++i) events.push_back(stampedAt(1000 + i, (i * 37) % 90));
  events.push_back(stampedAt(99000, UINT16_MAX));
  const Bytes stream = builder::encodeEvents(events, 8);
  const layout::EventHeadLayout& head = TraceVersion{8}.eventHead();
  // Cut the stream into runs of 1, 500 and all the rest of the records.
  std::vector<RecordRun> runs;
  size_t pos = 0;
  for (uint32_t count : {1u, 500u, 0u}) {
    RecordRun run{stream.data() + pos, 0, 0, 0};
    while (pos < stream.size() && (count == 0 || run.count < count)) {
      pos += recordSize(stream.data() + pos, head);
      ++run.count;
    }
    run.size = static_cast<size_t>(stream.data() + pos - run.bytes);
    runs.push_back(run);
  }
  ASSERT_GT(runs.back().size, RowBatches::kRecordCapacity);
  const std::vector<int32_t> firstNumbers = {1, 2, 502};
  const std::vector<int32_t> skipping = {7, 100, INT32_MAX - 3};
  for (const std::vector<int32_t>& numbers : {firstNumbers, skipping}) {
    std::string tables[2];
    WorkerPool workers(3);
    for (int threaded = 0; threaded < 2; ++threaded) {
      StringSink output;
      TsvSink sink(output, OutputBuffer::kDefaultCapacity, threaded ? &workers : nullptr);
      RowOptions options;
      options.dataFormat = DataFormat::HexAscii;
      sink.begin(workedExampleHeader(), TraceVersion{8}, options);
      for (size_t i = 0; i < runs.size(); ++i) {
        RecordRun run = runs[i];
        run.firstNumber = numbers[i];
        sink.write(run);
      }
      EXPECT_TRUE(sink.finish());
      tables[threaded] = output.text;
    }
    EXPECT_EQ(lines(tables[0]).size(), 1 + events.size());
    EXPECT_TRUE(tables[1] == tables[0]) << "first numbers " << numbers[0] << ", " << numbers[1];
  }
}

}  // namespace
}  // namespace qnvtab
