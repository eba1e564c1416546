// The table as a native workbook (libxlsxwriter, constant-memory mode): the
// numbers as numbers, every other cell as the TSV table's text, so that no
// spreadsheet reinterprets it, and after them a Timestamp column of
// date-time cells to the millisecond, for date filters, sorting and charts;
// a bold, frozen title row with an autofilter on every sheet, and a new
// sheet when one is full. With -th the informative header has a sheet of
// its own. The library keeps its temporary files next to the output and
// writes the file when finished.
#ifndef QNVTAB_WORKBOOK_XLSX_SINK_H_
#define QNVTAB_WORKBOOK_XLSX_SINK_H_

#include <xlsxwriter.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "events/row_sink.h"
#include "table/event_cells.h"

namespace qnvtab {

class XlsxSink : public RowSink {
 public:
  // A sheet holds 1,048,576 rows, the title row included.
  static constexpr uint32_t kSheetRows = LXW_ROW_MAX - 1;
  // The most characters a cell holds.
  static constexpr size_t kCellTextMax = 32767;

  // Writes the workbook to `path` when finished, `rowsPerSheet` event rows
  // to a sheet.
  explicit XlsxSink(const std::string& path, uint32_t rowsPerSheet = kSheetRows);

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return failed_; }
  bool finish() override;
  // The system's reason when one is known, else the library's message.
  std::string failureReason() const override;
  // The dump cells cut to fit a cell.
  std::vector<OutputWarning> warnings() const override;

 private:
  struct WorkbookFree {
    void operator()(lxw_workbook* workbook) const { lxw_workbook_free(workbook); }
  };

  void addHeaderSheet(const TraceHeader& header, bool withGmt);
  void addEventSheet();
  void endEventSheet();
  void fail(lxw_error error);
  bool sheetsWritten();

  std::unique_ptr<lxw_workbook, WorkbookFree> workbook_;
  lxw_format* bold_ = nullptr;  // owned by the workbook
  lxw_format* timestamp_ = nullptr;  // owned by the workbook
  lxw_worksheet* sheet_ = nullptr;  // the sheet being filled, owned by the workbook
  std::vector<lxw_worksheet*> sheets_;  // every sheet, owned by the workbook
  EventCells cells_;
  std::vector<TableColumn> columns_;  // the events sheet's, the Timestamp after them
  uint32_t rowsPerSheet_;
  uint32_t eventSheets_ = 0;
  uint32_t row_ = 0;  // the next row of the sheet
  uint64_t cutDumps_ = 0;
  bool failed_ = false;
  int systemError_ = 0;
  const char* libraryMessage_ = "";
};

}  // namespace qnvtab

#endif  // QNVTAB_WORKBOOK_XLSX_SINK_H_
