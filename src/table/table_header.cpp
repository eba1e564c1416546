#include "table/table_header.h"

#include <cstdio>

namespace qnvtab {
namespace {

constexpr const char* kColumnTitles[] = {
    "Event", "Time (msec)", "Date",   "Local Time", "Cmd",    "S",      "RC",
    "PoIn",  "LsnIn",       "PoOut",  "LsnOut",     "Info",   "Length", "BufferAddress",
};

std::string dateLine(const char* format, TraceDate date, TraceTime time,
                     const GmtOffset* offset) {
  char line[160];
  int size = std::snprintf(line, sizeof line, format, date.day, date.month, date.year, time.hour,
                           time.minute, time.second);
  if (offset != nullptr) {
    size += std::snprintf(line + size, sizeof line - size, " (GMT%c%u.%02u)",
                          offset->sign == 0xFF ? '-' : '+', unsigned{offset->hours},
                          unsigned{offset->minutes});
  }
  return std::string(line, static_cast<size_t>(size));
}

void writeQuotedCell(OutputBuffer& out, const char* title, bool first) {
  if (!first) out.append("\t", 1);
  out.append("\"", 1);
  out.append(title, std::char_traits<char>::length(title));
  out.append("\"", 1);
}

}  // namespace

std::vector<std::string> informativeHeaderLines(const TraceHeader& header, bool withGmt) {
  const GmtOffset start = header.startGmtOffset();
  const GmtOffset firstEvent = header.firstEventGmtOffset();
  const GmtOffset end = header.endGmtOffset();
  return {dateLine("Start Date    : %02u/%02u/%04u   Start Time    : %02u:%02u:%02u",
                   header.startDate(), header.startTime(), withGmt ? &start : nullptr),
          dateLine("1st Event Date: %02u/%02u/%04u   1st Event Time: %02u:%02u:%02u",
                   header.firstEventDate(), header.firstEventTime(),
                   withGmt ? &firstEvent : nullptr),
          dateLine("End Date      : %02u/%02u/%04u   End Time      : %02u:%02u:%02u",
                   header.endDate(), header.endTime(), withGmt ? &end : nullptr)};
}

std::string isoDate(TraceDate date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", date.year % 10000, date.month % 100,
                date.day % 100);
  return text;
}

std::string isoTime(TraceTime time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", time.hour % 100, time.minute % 100,
                time.second % 100);
  return text;
}

std::string isoOffset(GmtOffset offset) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%02u:%02u", offset.sign == 0xFF ? '-' : '+',
                unsigned{offset.hours}, unsigned{offset.minutes});
  return text;
}

std::vector<const char*> columnTitles(DataFormat dataFormat) {
  std::vector<const char*> titles(std::begin(kColumnTitles), std::end(kColumnTitles));
  if (dataFormat == DataFormat::HexAscii) {
    titles.push_back("BufferContent (Hex)");
    titles.push_back("BufferContent (Ascii)");
  } else {
    titles.push_back("BufferContent");
  }
  return titles;
}

void writeTableHeader(const TraceHeader* header, DataFormat dataFormat, bool withGmt,
                      OutputBuffer& out) {
  if (header != nullptr) {
    for (const std::string& line : informativeHeaderLines(*header, withGmt)) {
      out.append(line.data(), line.size());
      out.append("\r\n", 2);
    }
    out.append("\r\n", 2);
  }
  bool first = true;
  for (const char* title : columnTitles(dataFormat)) {
    writeQuotedCell(out, title, first);
    first = false;
  }
  out.append("\r\n", 2);
}

}  // namespace qnvtab
