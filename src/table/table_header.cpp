#include "table/table_header.h"

#include <cstdio>

namespace qnvtab {
namespace {

constexpr const char* kColumnTitles[] = {
    "Event", "Time (msec)", "Date",   "Local Time", "Cmd",    "S",      "RC",
    "PoIn",  "LsnIn",       "PoOut",  "LsnOut",     "Info",   "Length", "BufferAddress",
};

void writeDateLine(OutputBuffer& out, const char* format, TraceDate date, TraceTime time,
                   const GmtOffset* offset) {
  char line[160];
  int size = std::snprintf(line, sizeof line, format, date.day, date.month, date.year, time.hour,
                           time.minute, time.second);
  if (offset != nullptr) {
    size += std::snprintf(line + size, sizeof line - size, " (GMT%c%u.%02u)",
                          offset->sign == 0xFF ? '-' : '+', unsigned{offset->hours},
                          unsigned{offset->minutes});
  }
  out.append(line, static_cast<size_t>(size));
  out.append("\r\n", 2);
}

void writeQuotedCell(OutputBuffer& out, const char* title, bool first) {
  if (!first) out.append("\t", 1);
  out.append("\"", 1);
  out.append(title, std::char_traits<char>::length(title));
  out.append("\"", 1);
}

}  // namespace

void writeTableHeader(const TraceHeader* header, DataFormat dataFormat, bool withGmt,
                      OutputBuffer& out) {
  if (header != nullptr) {
    const GmtOffset start = header->startGmtOffset();
    const GmtOffset firstEvent = header->firstEventGmtOffset();
    const GmtOffset end = header->endGmtOffset();
    writeDateLine(out, "Start Date    : %02u/%02u/%04u   Start Time    : %02u:%02u:%02u",
                  header->startDate(), header->startTime(), withGmt ? &start : nullptr);
    writeDateLine(out, "1st Event Date: %02u/%02u/%04u   1st Event Time: %02u:%02u:%02u",
                  header->firstEventDate(), header->firstEventTime(),
                  withGmt ? &firstEvent : nullptr);
    writeDateLine(out, "End Date      : %02u/%02u/%04u   End Time      : %02u:%02u:%02u",
                  header->endDate(), header->endTime(), withGmt ? &end : nullptr);
    out.append("\r\n", 2);
  }
  bool first = true;
  for (const char* title : kColumnTitles) {
    writeQuotedCell(out, title, first);
    first = false;
  }
  if (dataFormat == DataFormat::HexAscii) {
    writeQuotedCell(out, "BufferContent (Hex)", false);
    writeQuotedCell(out, "BufferContent (Ascii)", false);
  } else {
    writeQuotedCell(out, "BufferContent", false);
  }
  out.append("\r\n", 2);
}

}  // namespace qnvtab
