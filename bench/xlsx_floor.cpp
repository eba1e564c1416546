// The floor of the workbook: a plain libxlsxwriter program that writes the
// cells of a table, held in memory beforehand, as the workbook sink writes
// them (constant memory, the same numbers, texts, formats, widths, frozen
// title row and autofilter), and prints the seconds the writing took.
//
//   xlsx_floor TABLE OUTPUT      (TABLE: a -dH table without -th)
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The table's rows, each cell without its quotes and with a doubled quote
// single again.
std::vector<std::vector<std::string>> readTable(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::vector<std::string>> rows;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> cells;
    for (size_t cell = at; cell <= end;) {
      size_t tab = text.find('\t', cell);
      if (tab == std::string::npos || tab > end) tab = end;
      std::string value = text.substr(cell, tab - cell);
      if (value.size() >= 2 && value.front() == '"') {
        value = value.substr(1, value.size() - 2);
        for (size_t quote = value.find("\"\""); quote != std::string::npos;
             quote = value.find("\"\"", quote + 1)) {
          value.erase(quote, 1);
        }
      }
      cells.push_back(std::move(value));
      cell = tab + 1;
    }
    rows.push_back(std::move(cells));
    at = end + 2;
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: xlsx_floor TABLE OUTPUT\n");
    return 2;
  }
  const std::vector<std::vector<std::string>> rows = readTable(argv[1]);
  if (rows.empty()) return 1;
  // Event, Time (msec), PoIn, PoOut and Length are numbers, converted
  // before the clock starts.
  const bool number[] = {true,  true, false, false, false, false, false, true,
                         false, true, false, false, true,  false, false, false};
  std::vector<std::vector<double>> numbers;
  for (size_t index = 1; index < rows.size(); ++index) {
    std::vector<double>& values = numbers.emplace_back(rows[index].size());
    for (size_t column = 0; column < rows[index].size() && column < 16; ++column) {
      if (number[column]) values[column] = std::stod(rows[index][column]);
    }
  }
  const auto start = std::chrono::steady_clock::now();
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(argv[2], &options);
  if (workbook == nullptr) return 1;
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  lxw_format* timestamp = workbook_add_format(workbook);
  format_set_num_format(timestamp, "yyyy-mm-dd hh:mm:ss.000");
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Events");
  const std::vector<std::string>& titles = rows.front();
  const lxw_col_t columns = static_cast<lxw_col_t>(titles.size());
  for (lxw_col_t column = 0; column < columns; ++column) {
    worksheet_set_column(sheet, column, column, column == 14 ? 60 : 8, nullptr);
    worksheet_write_string(sheet, 0, column, titles[column].c_str(), bold);
  }
  worksheet_set_column(sheet, columns, columns, 24, nullptr);
  worksheet_write_string(sheet, 0, columns, "Timestamp", bold);
  worksheet_freeze_panes(sheet, 1, 0);
  lxw_row_t row = 1;
  for (size_t index = 1; index < rows.size(); ++index, ++row) {
    const std::vector<std::string>& cells = rows[index];
    for (lxw_col_t column = 0; column < cells.size() && column < columns; ++column) {
      if (number[column]) {
        worksheet_write_number(sheet, row, column, numbers[index - 1][column], nullptr);
      } else if (!cells[column].empty() || column < 14) {
        worksheet_write_string(sheet, row, column, cells[column].c_str(), nullptr);
      }
    }
    worksheet_write_number(sheet, row, columns, 10000.0 + static_cast<double>(row) / 86400000.0,
                           timestamp);
  }
  worksheet_autofilter(sheet, 0, 0, row - 1, columns);
  if (workbook_close(workbook) != LXW_NO_ERROR) return 1;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", took.count());
  return 0;
}
