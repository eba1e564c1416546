// Writing HTML and SVG text: escaping what comes from outside, and
// formatted appends for what this program writes itself.
#ifndef QNVTAB_SUMMARY_MARKUP_H_
#define QNVTAB_SUMMARY_MARKUP_H_

#include <string>
#include <string_view>
#include <vector>

namespace qnvtab {

// `text` safe inside HTML or SVG text and inside quoted attributes alike:
// & < > " ' become character references, all else is kept.
std::string markupEscaped(std::string_view text);

// Appends printf-formatted text (at most 511 bytes); escape any string
// argument that comes from the trace or the command line before.
[[gnu::format(printf, 2, 3)]] void appendFormatted(std::string& out, const char* format, ...);
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...);

// "<table>" and a row of headings; the caller closes it with "</table>".
void appendTableHead(std::string& out, const std::vector<std::string>& names);
// A table row, escaped: the first cell as text, the others as numbers.
void appendTableRow(std::string& out, const std::vector<std::string>& cells);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_MARKUP_H_
