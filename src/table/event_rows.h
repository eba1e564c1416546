// Event records in the expanded block stream and the table row of each.
#ifndef QNVTAB_TABLE_EVENT_ROWS_H_
#define QNVTAB_TABLE_EVENT_ROWS_H_

#include <cstdint>

#include "table/calendar.h"
#include "table/cell_format.h"
#include "table/output_buffer.h"
#include "trace/trace_format.h"
#include "trace/trace_header.h"

namespace qnvtab {

// The head of one event record, decoded. Field names follow the column
// titles of the table.
struct EventRecord {
  uint32_t TimeStamp;  // milliseconds since the start of the trace
  uint16_t PoIn;
  uint16_t LsnIn;
  uint16_t PoOut;
  uint16_t LsnOut;
  uint8_t Cmd;
  uint8_t Info;
  uint8_t RC;
  uint16_t Length;  // size of the traced buffer
  uint32_t BufferAddress;
  uint16_t ContentLength;  // data bytes that follow the head
};

EventRecord decodeEventHead(const uint8_t* head, const layout::EventHeadLayout& layout);

// What every row of a run shares, computed once: the head layout, the
// options, the first event's place on the calendar, and the date and time
// text of the last second shown (consecutive events nearly always share it).
struct EventRowContext {
  const layout::EventHeadLayout* head;
  DataFormat dataFormat;
  uint32_t referenceStamp;  // subtracted for the Time (msec) cell
  uint32_t firstEventStamp;
  uint32_t firstEventSeconds;  // seconds since 1980 of the first event
  // Traces from version 7 on record their first event, and events stamped
  // before it are placed before it; older stamps count from the trace start.
  bool signedDistance;

  bool cacheValid = false;
  uint32_t cachedSeconds = 0;
  char cachedDateTime[13] = {};  // "DDMMYY\tHHMMSS"
};

EventRowContext makeEventRowContext(const TraceHeader& header, uint16_t traceFormatVersion,
                                    DataFormat dataFormat, uint32_t referenceStamp);

// Seconds since 1980 at which an event stamped `timeStamp` happened.
uint32_t eventSeconds(const EventRowContext& context, uint32_t timeStamp);

// Writes one row for every complete record at the front of `buffer`, then
// moves the incomplete rest to the front and sets `usedLength` to its size.
// `eventCounter` numbers the rows and runs on across calls.
void writeEventRows(EventRowContext& context, int32_t& eventCounter, OutputBuffer& out,
                    uint8_t* buffer, int32_t& usedLength);

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_EVENT_ROWS_H_
