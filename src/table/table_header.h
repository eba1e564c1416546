// The top of the table: the optional informative header (trace start, first
// event and end, with GMT offsets for newer traces) and the column titles.
#ifndef QNVTAB_TABLE_TABLE_HEADER_H_
#define QNVTAB_TABLE_TABLE_HEADER_H_

#include <string>
#include <vector>

#include "table/cell_format.h"
#include "table/output_buffer.h"
#include "trace/trace_header.h"

namespace qnvtab {

// Writes the informative header block when `header` is given, then the
// column title line for `dataFormat`. `withGmt` adds the GMT offset to each
// date line.
void writeTableHeader(const TraceHeader* header, DataFormat dataFormat, bool withGmt,
                      OutputBuffer& out);

// The three lines of the informative header, without line ends.
std::vector<std::string> informativeHeaderLines(const TraceHeader& header, bool withGmt);

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_TABLE_HEADER_H_
