// The cells of one event as values, for outputs that keep the type of a
// cell: its numbers, and every cell as the text the TSV table shows, without
// the quotes around it and with a doubled quote single again. The texts come
// from the table's own cell formatters, so every output shows the same.
#ifndef QNVTAB_TABLE_EVENT_CELLS_H_
#define QNVTAB_TABLE_EVENT_CELLS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "events/event_clock.h"
#include "events/event_record.h"
#include "events/record_run.h"
#include "events/row_sink.h"
#include "events/time_text.h"
#include "table/cell_format.h"
#include "table/table_columns.h"

namespace qnvtab {

class EventCells {
 public:
  // Allocates without throwing: check allocated() before use.
  EventCells();
  bool allocated() const { return dumps_ != nullptr; }

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options);
  // 15, or 16 with -dHA.
  int columnCount() const { return kFixedColumns + (dataFormat_ == DataFormat::HexAscii ? 2 : 1); }

  // Calls `writeRow(cells)` for every event of `run`, loaded in turn.
  template <typename RowWriter>
  void forEachEvent(const RecordRun& run, RowWriter&& writeRow) {
    forEachRecord(run, *head_, [&](const RunRecord& record) {
      load(record.bytes, record.number);
      writeRow(*this);
    });
  }

  const EventRecord& record() const { return record_; }
  // When the event happened, as its Date and Local Time cells show it, to
  // the millisecond.
  EventTime time() const { return time_; }
  // The data bytes the dumps show.
  std::span<const uint8_t> shownBytes() const { return {data_, shown_}; }
  // False for an event without data bytes, whose dump cells stay empty.
  bool hasDump() const { return record_.ContentLength > 0; }

  // The value of a column that holds a number: Event, TimeMsec, RC, PoIn,
  // LsnIn, PoOut, LsnOut, Info, Length or BufferAddress.
  int64_t integer(Column column) const;

  // The cell's text, followed by a NUL, valid until the next event is
  // loaded or the same column asked for again. A dump longer than `limit`
  // is cut after the last whole byte that fits with " ..." behind it.
  std::string_view text(Column column, size_t limit = SIZE_MAX);
  // Whether the last text asked for was cut.
  bool lastTextCut() const { return lastTextCut_; }

 private:
  void load(const uint8_t* head, int32_t number);
  std::string_view dumpText(char* out, PayloadMode mode, size_t limit);

  std::unique_ptr<char[]> dumps_;  // room for two dumps of the widest event
  char fixed_[kFixedColumns][16] = {};
  const layout::EventHeadLayout* head_ = nullptr;
  DataFormat dataFormat_ = DataFormat::Hex;
  uint32_t referenceStamp_ = 0;
  std::optional<EventClock> clock_;
  DateTimeText dateTime_;
  EventTime time_;
  const char* dateTimeText_ = nullptr;
  int32_t number_ = 0;
  EventRecord record_{};
  const uint8_t* data_ = nullptr;
  uint32_t shown_ = 0;
  bool lastTextCut_ = false;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_EVENT_CELLS_H_
