#include "events/event_record.h"

namespace qnvtab {

EventRecord decodeEventHead(const uint8_t* head, const layout::EventHeadLayout& layout) {
  EventRecord record;
  record.TimeStamp = loadU32(head + layout.timeStamp);
  record.PoIn = loadU16(head + layout.poIn);
  record.LsnIn = layout.wideLsn ? loadU16(head + layout.lsnIn) : head[layout.lsnIn];
  record.PoOut = loadU16(head + layout.poOut);
  record.LsnOut = layout.wideLsn ? loadU16(head + layout.lsnOut) : head[layout.lsnOut];
  record.Cmd = head[layout.cmd];
  record.Info = head[layout.info];
  record.RC = head[layout.rc];
  record.Length = loadU16(head + layout.length);
  record.BufferAddress = loadU32(head + layout.bufferAddress);
  record.ContentLength = loadU16(head + layout.contentLength);
  return record;
}

}  // namespace qnvtab
