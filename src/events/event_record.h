// One event record of the expanded block stream: a packed head of 23 or 25
// bytes, then ContentLength data bytes.
#ifndef QNVTAB_EVENTS_EVENT_RECORD_H_
#define QNVTAB_EVENTS_EVENT_RECORD_H_

#include <cstddef>
#include <cstdint>

#include "trace/trace_format.h"

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

// The whole size of the record whose head begins at `head`.
inline size_t recordSize(const uint8_t* head, const layout::EventHeadLayout& layout) {
  return layout.size + loadU16(head + layout.contentLength);
}

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_RECORD_H_
