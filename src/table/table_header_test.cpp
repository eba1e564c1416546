#include "table/table_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "string_sink.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

const char kTitles[] =
    "\"Event\"\t\"Time (msec)\"\t\"Date\"\t\"Local Time\"\t\"Cmd\"\t\"S\"\t\"RC\"\t\"PoIn\"\t"
    "\"LsnIn\"\t\"PoOut\"\t\"LsnOut\"\t\"Info\"\t\"Length\"\t\"BufferAddress\"\t";

std::string headerText(const TraceHeader* header, DataFormat format, bool withGmt) {
  StringSink sink;
  {
    OutputBuffer out(sink, 8);  // far smaller than one line
    writeTableHeader(header, format, withGmt, out);
    EXPECT_TRUE(out.flush());
  }
  return sink.text;
}

TraceHeader headerFrom(const builder::HeaderSpec& plan) {
  const builder::Bytes image = builder::buildHeader(plan);
  TraceHeader header;
  std::memcpy(header.bytes.data(), image.data(), image.size());
  return header;
}

TEST(TableHeader, TitleLineOnlyWithoutHeader) {
  EXPECT_EQ(headerText(nullptr, DataFormat::Hex, true), std::string(kTitles) + "\"BufferContent\"\r\n");
  EXPECT_EQ(headerText(nullptr, DataFormat::Ascii, false), std::string(kTitles) + "\"BufferContent\"\r\n");
  EXPECT_EQ(headerText(nullptr, DataFormat::HexAscii, false),
            std::string(kTitles) + "\"BufferContent (Hex)\"\t\"BufferContent (Ascii)\"\r\n");
}

TEST(TableHeader, DateLinesWithAndWithoutGmtOffsets) {
  builder::HeaderSpec plan;
  plan.startDate = {1, 2, 2003};
  plan.startTime = {4, 5, 6};
  plan.firstEventDate = {0, 0, 12345};  // written as stored, not checked
  plan.firstEventTime = {99, 0, 7};
  plan.endDate = {31, 12, 999};
  plan.endTime = {23, 59, 59};
  plan.startGmtOffset = {0xFF, 0, 5, 0};
  plan.firstEventGmtOffset = {0x80, 255, 99, 7};
  plan.endGmtOffset = {0xFE, 10, 0, 0};
  const TraceHeader header = headerFrom(plan);
  const std::string title = std::string(kTitles) + "\"BufferContent\"\r\n";
  EXPECT_EQ(headerText(&header, DataFormat::Hex, false),
            "Start Date    : 01/02/2003   Start Time    : 04:05:06\r\n"
            "1st Event Date: 00/00/12345   1st Event Time: 99:00:07\r\n"
            "End Date      : 31/12/0999   End Time      : 23:59:59\r\n"
            "\r\n" + title);
  EXPECT_EQ(headerText(&header, DataFormat::Hex, true),
            "Start Date    : 01/02/2003   Start Time    : 04:05:06 (GMT-0.05)\r\n"
            "1st Event Date: 00/00/12345   1st Event Time: 99:00:07 (GMT+255.99)\r\n"
            "End Date      : 31/12/0999   End Time      : 23:59:59 (GMT+10.00)\r\n"
            "\r\n" + title);
}

}  // namespace
}  // namespace qnvtab
