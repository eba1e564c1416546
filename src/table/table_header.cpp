#include "table/table_header.h"

#include <cstdio>

#include "table/table_columns.h"

namespace qnvtab {
namespace {

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
  for (const TableColumn& column : tableColumns(dataFormat)) {
    writeQuotedCell(out, column.title, first);
    first = false;
  }
  out.append("\r\n", 2);
}

}  // namespace qnvtab
