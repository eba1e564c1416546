// The cells of a TAB-separated text as a spreadsheet reads them: a quoted
// cell loses its quotes and has each doubled quote single again; lines end
// with LF or CR LF.
#ifndef QNVTAB_TESTS_SUPPORT_DELIMITED_CELLS_H_
#define QNVTAB_TESTS_SUPPORT_DELIMITED_CELLS_H_

#include <string>
#include <utility>
#include <vector>

namespace qnvtab::testing {

struct DelimitedCell {
  std::string text;
  bool quoted = false;
  bool operator==(const DelimitedCell&) const = default;
};
using DelimitedRow = std::vector<DelimitedCell>;

// Reads the rows of `text` one at a time, so that a large table need not be
// held as cells all at once.
class DelimitedReader {
 public:
  explicit DelimitedReader(std::string text) : text_(std::move(text)) {}

  // False at the end of the text.
  bool next(DelimitedRow& row) {
    row.clear();
    if (pos_ >= text_.size()) return false;
    DelimitedCell cell;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"' && cell.text.empty() && !cell.quoted) {
        cell.quoted = true;
        readQuoted(cell.text);
      } else if (c == '\t') {
        row.push_back(std::move(cell));
        cell = {};
      } else if (c == '\n' || (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n')) {
        if (c == '\r') ++pos_;
        break;
      } else {
        cell.text += c;
      }
    }
    row.push_back(std::move(cell));
    return true;
  }

 private:
  void readQuoted(std::string& out) {
    for (; pos_ < text_.size(); ++pos_) {
      if (text_[pos_] != '"') {
        out += text_[pos_];
      } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
        out += '"';
        ++pos_;
      } else {
        ++pos_;
        return;
      }
    }
  }

  std::string text_;
  size_t pos_ = 0;
};

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_DELIMITED_CELLS_H_
