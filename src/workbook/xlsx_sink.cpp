#include "workbook/xlsx_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "table/table_header.h"

namespace qnvtab {
namespace {

// The directory that holds `path`, where the library's temporary files go:
// the output's own disk, not a RAM-backed /tmp.
std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Widths in characters that show the widest usual value and the title.
double columnWidth(Column column) {
  switch (column) {
    case Column::Event:
    case Column::Date:
    case Column::LocalTime:
      return 11;
    case Column::TimeMsec:
      return 12;
    case Column::Cmd:
    case Column::S:
    case Column::RC:
    case Column::Info:
      return 6;
    case Column::BufferAddress:
      return 15;
    case Column::Dump:
    case Column::SecondDump:
      return 60;
    default:
      return 8;
  }
}

// The Timestamp column's cells: spreadsheet serial dates, days since
// 30 December 1899 with the time of day as the fraction.
constexpr uint64_t kSerialDayOf1980 = 29221;
constexpr uint64_t kMillisecondsPerDay = 86400000;
constexpr double kTimestampWidth = 24;

// One division of exact integers: the double nearest the instant, which a
// spreadsheet reads back as the same millisecond.
double serialDate(EventTime time) {
  return static_cast<double>(kSerialDayOf1980 * kMillisecondsPerDay + time.milliseconds()) /
         static_cast<double>(kMillisecondsPerDay);
}

}  // namespace

XlsxSink::XlsxSink(const std::string& path, uint32_t rowsPerSheet) : rowsPerSheet_(rowsPerSheet) {
  if (!cells_.allocated()) {
    failed_ = true;
    systemError_ = ENOMEM;
    return;
  }
  std::string tmpdir = directoryOf(path);
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = tmpdir.data();
  options.use_zip64 = LXW_TRUE;  // a full sheet's part passes 4 GB with long dumps
  errno = 0;
  workbook_.reset(workbook_new_opt(path.c_str(), &options));
  if (workbook_ == nullptr) {
    fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    return;
  }
  bold_ = workbook_add_format(workbook_.get());
  if (bold_ != nullptr) format_set_bold(bold_);
  timestamp_ = workbook_add_format(workbook_.get());
  if (timestamp_ != nullptr) format_set_num_format(timestamp_, "yyyy-mm-dd hh:mm:ss.000");
}

void XlsxSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  if (failed_) return;
  cells_.begin(header, version, options);
  columns_ = tableColumns(options.dataFormat);
  if (options.informativeHeader) addHeaderSheet(header, version.hasGmtOffsets());
  addEventSheet();
}

void XlsxSink::addHeaderSheet(const TraceHeader& header, bool withGmt) {
  lxw_worksheet* sheet = workbook_add_worksheet(workbook_.get(), "Trace");
  if (sheet == nullptr) return fail(LXW_ERROR_CREATING_TMPFILE);
  sheets_.push_back(sheet);
  lxw_row_t row = 0;
  for (const std::string& line : informativeHeaderLines(header, withGmt)) {
    worksheet_write_string(sheet, row++, 0, line.c_str(), nullptr);
  }
  worksheet_set_column(sheet, 0, 0, 70, nullptr);
}

void XlsxSink::addEventSheet() {
  endEventSheet();
  ++eventSheets_;
  const std::string name =
      eventSheets_ == 1 ? "Events" : "Events " + std::to_string(eventSheets_);
  sheet_ = workbook_add_worksheet(workbook_.get(), name.c_str());
  if (sheet_ == nullptr) return fail(LXW_ERROR_CREATING_TMPFILE);
  sheets_.push_back(sheet_);
  lxw_col_t at = 0;
  for (const TableColumn& column : columns_) {
    worksheet_set_column(sheet_, at, at, columnWidth(column.column), nullptr);
    worksheet_write_string(sheet_, 0, at++, column.title, bold_);
  }
  const lxw_col_t timestampColumn = at;
  worksheet_set_column(sheet_, timestampColumn, timestampColumn, kTimestampWidth, nullptr);
  worksheet_write_string(sheet_, 0, timestampColumn, "Timestamp", bold_);
  worksheet_freeze_panes(sheet_, 1, 0);
  row_ = 1;
}

// The autofilter covers the sheet's rows, known once it is full.
void XlsxSink::endEventSheet() {
  if (sheet_ == nullptr) return;
  worksheet_autofilter(sheet_, 0, 0, row_ - 1, static_cast<lxw_col_t>(cells_.columnCount()));
  sheet_ = nullptr;
}

bool XlsxSink::write(const RecordRun& run) {
  if (failed_) return false;
  cells_.forEachEvent(run, [this](EventCells& cells) {
    if (row_ > rowsPerSheet_) addEventSheet();
    if (failed_) return;
    lxw_col_t at = 0;
    // Numbers the table shows in decimal are numbers to a spreadsheet too;
    // codes stay the text the table shows.
    for (const TableColumn& column : columns_) {
      if (column.kind == CellKind::Number) {
        worksheet_write_number(sheet_, row_, at, static_cast<double>(cells.integer(column.column)),
                               nullptr);
      } else if (column.kind != CellKind::Dump) {
        worksheet_write_string(sheet_, row_, at, cells.text(column.column).data(), nullptr);
      } else if (cells.hasDump()) {
        worksheet_write_string(sheet_, row_, at, cells.text(column.column, kCellTextMax).data(),
                               nullptr);
        if (cells.lastTextCut()) ++cutDumps_;
      }
      ++at;
    }
    worksheet_write_number(sheet_, row_, at, serialDate(cells.time()), timestamp_);
    ++row_;
  });
  sheetsWritten();
  return !failed_;
}

// The library streams the rows of each sheet into a temporary file without
// checking the writes: a full disk or the file-size limit would go unseen
// and the workbook lose rows.
bool XlsxSink::sheetsWritten() {
  for (lxw_worksheet* sheet : sheets_) {
    if (std::ferror(sheet->optimize_tmpfile) != 0) {
      // Flushing again fails again, with the system's reason.
      errno = 0;
      std::fflush(sheet->optimize_tmpfile);
      failed_ = true;
      systemError_ = errno != 0 ? errno : EIO;
      return false;
    }
  }
  return true;
}

bool XlsxSink::finish() {
  // A failed workbook is freed unwritten, leaving the output empty.
  if (failed_ || !sheetsWritten()) return false;
  endEventSheet();
  errno = 0;
  // Closing writes the file and frees the workbook, whatever the outcome.
  const lxw_error error = workbook_close(workbook_.release());
  if (error != LXW_NO_ERROR) fail(error);
  return !failed_;
}

void XlsxSink::fail(lxw_error error) {
  failed_ = true;
  systemError_ = errno;
  libraryMessage_ = lxw_strerror(error);
}

std::string XlsxSink::failureReason() const {
  return systemError_ != 0 ? std::strerror(systemError_) : libraryMessage_;
}

std::vector<OutputWarning> XlsxSink::warnings() const {
  if (cutDumps_ == 0) return {};
  return {{cutDumps_, "dumps longer than a cell's " + std::to_string(kCellTextMax) +
                          " characters cut after a whole byte and marked with ' ...'"}};
}

}  // namespace qnvtab
