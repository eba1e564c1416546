// The text of one table row: the cells of an event record, TAB-separated,
// with the line end. A formatter keeps the date text of the last second it
// wrote, so each thread that formats rows has a formatter of its own.
#ifndef QNVTAB_TABLE_ROW_FORMATTER_H_
#define QNVTAB_TABLE_ROW_FORMATTER_H_

#include <cstddef>
#include <cstdint>

#include "events/event_clock.h"
#include "events/event_record.h"
#include "events/row_sink.h"
#include "events/time_text.h"

namespace qnvtab {

class RowFormatter {
 public:
  // The most bytes that any row may take.
  static constexpr size_t kMaxRowSize = 524400;

  RowFormatter(const TraceHeader& header, TraceVersion version, const RowOptions& options);

  const layout::EventHeadLayout& head() const { return *head_; }

  // The most bytes that the row of `record` may take.
  size_t maxRowSize(const EventRecord& record) const;
  // The most bytes that the rows of `count` whole records, `size` bytes in
  // all, may take.
  size_t maxRowsSize(uint32_t count, size_t size) const;

  // Writes the row of the record whose head `record` was decoded from
  // `head`, its data following the head, and returns the end of the row.
  char* writeRow(int32_t eventNumber, const EventRecord& record, const uint8_t* head, char* out);

 private:
  const layout::EventHeadLayout* head_;
  DataFormat dataFormat_;
  uint32_t referenceStamp_;  // subtracted for the Time (msec) cell
  EventClock clock_;
  DateTimeText dateTime_;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_ROW_FORMATTER_H_
