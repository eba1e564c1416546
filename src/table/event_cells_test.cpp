#include "table/event_cells.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::EventSpec;

// The cells of `event` as the 7th event of the worked example's trace.
struct Loaded {
  Bytes record;
  EventCells cells;
};

void load(Loaded& loaded, const EventSpec& event, DataFormat format) {
  builder::HeaderSpec plan;
  plan.firstEventDate = {19, 5, 2008};
  plan.firstEventTime = {10, 20, 30};
  plan.firstEventStamp = 1000;
  const Bytes image = builder::buildHeader(plan);
  TraceHeader header;
  std::memcpy(header.bytes.data(), image.data(), image.size());
  loaded.record = builder::encodeEvent(event, 8);
  loaded.cells.begin(header, TraceVersion{8}, RowOptions{false, false, format});
  const RecordRun run{loaded.record.data(), loaded.record.size(), 1, 7};
  loaded.cells.forEachEvent(run, [](EventCells&) {});
}

TEST(EventCells, TextsAreTheTableCellsWithoutQuotes) {
  Loaded loaded;
  load(loaded, testing::workedExampleEvent(), DataFormat::HexAscii);
  EventCells& cells = loaded.cells;
  const std::vector<std::string> expected = {
      "7", "6000", "190508", "102035", "SD", "P", "x00", "3", "x0012", "0", "x0000", "x01", "4",
      "x00002C00", "41 42 0D 0A", "A B . ."};
  ASSERT_EQ(cells.columnCount(), 16);
  for (int column = 0; column < cells.columnCount(); ++column) {
    const std::string_view text = cells.text(static_cast<Column>(column));
    EXPECT_EQ(text, expected[static_cast<size_t>(column)]) << column;
    EXPECT_EQ(text.data()[text.size()], '\0');
  }
  const std::pair<Column, int64_t> integers[] = {
      {Column::Event, 7}, {Column::TimeMsec, 6000}, {Column::RC, 0}, {Column::PoIn, 3},
      {Column::LsnIn, 0x12}, {Column::Info, 1}, {Column::Length, 4},
      {Column::BufferAddress, 0x2C00}};
  for (const auto& [column, value] : integers) EXPECT_EQ(cells.integer(column), value);
  EXPECT_EQ(std::string(cells.shownBytes().begin(), cells.shownBytes().end()), "AB\r\n");
}

TEST(EventCells, QuotesShowOnceAndLongDumpsAreCutAfterAWholeByte) {
  struct Case {
    DataFormat format;
    Column column;
    std::string data;
    uint16_t length;
    size_t limit;
    std::string text;
    bool cut;
  };
  const Case cases[] = {
      {DataFormat::Ascii, Column::Dump, "a\"b", 3, SIZE_MAX, " a  \"  b", false},
      {DataFormat::HexAscii, Column::SecondDump, "\"\"x", 3, SIZE_MAX, "\" \" x", false},
      {DataFormat::Hex, Column::Dump, "abcd", 4, 11, "61 62 63 64", false},
      {DataFormat::Hex, Column::Dump, "abcd", 4, 10, "61 62 ...", true},
      {DataFormat::Hex, Column::Dump, "abcd", 9, 13, "61 62 63 ...", true},
      {DataFormat::HexAscii, Column::SecondDump, "a\"cde", 5, 8, "a \" ...", true},
      {DataFormat::Ascii, Column::Dump, "\"bcd", 4, 8, " \" ...", true},
      {DataFormat::Hex, Column::Dump, "ab", 0, SIZE_MAX, "", false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.text);
    EventSpec event;
    event.data.assign(test.data.begin(), test.data.end());
    event.length = test.length;
    Loaded loaded;
    load(loaded, event, test.format);
    EXPECT_EQ(loaded.cells.text(test.column, test.limit), test.text);
    EXPECT_EQ(loaded.cells.lastTextCut(), test.cut);
  }
}

}  // namespace
}  // namespace qnvtab
