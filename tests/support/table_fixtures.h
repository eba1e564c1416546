// Small pieces shared by the table tests: splitting a table into lines and
// cells, its rows to compare, and the event of the worked example row.
#ifndef QNVTAB_TESTS_SUPPORT_TABLE_FIXTURES_H_
#define QNVTAB_TESTS_SUPPORT_TABLE_FIXTURES_H_

#include <string>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab::testing {

inline std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + separator.size()) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The rows of a table after its title line, each less its Event cell (the
// numbers of salvaged rows run over what was recovered) and, when `dates`,
// less the Date and Local Time cells (a header whose dates are unverified).
inline std::vector<std::string> rowsWithout(const std::string& table, bool dates) {
  std::vector<std::string> rows;
  const std::vector<std::string> lines = split(table, "\r\n");
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    std::vector<std::string> cells = split(lines[i], "\t");
    cells.erase(cells.begin());
    if (dates) cells.erase(cells.begin() + 1, cells.begin() + 3);
    std::string row;
    for (const std::string& cell : cells) row += cell + "\t";
    rows.push_back(row);
  }
  return rows;
}

// The 7th event of a version-8 trace whose first event was at 19 May 2008
// 10:20:30, stamp 1000: its row is
// 7 6000 190508 102035 "SD" "P" "x00" 3 "x0012" 0 "x0000" "x01" 4 x00002C00 "41 42 0D 0A".
inline builder::EventSpec workedExampleEvent() {
  builder::EventSpec event;
  event.timeStamp = 6000;
  event.cmd = 0x14;
  event.rc = 0x00;
  event.poIn = 3;
  event.lsnIn = 0x0012;
  event.poOut = 0;
  event.lsnOut = 0x0000;
  event.info = 0x01;
  event.length = 4;
  event.bufferAddress = 0x2C00;
  event.data = {0x41, 0x42, 0x0D, 0x0A};
  return event;
}

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_TABLE_FIXTURES_H_
