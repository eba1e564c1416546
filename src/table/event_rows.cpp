#include "table/event_rows.h"

#include <cstring>

namespace qnvtab {
namespace {

// The widest row without its dump: every cell at its widest plus separators.
constexpr size_t kRowFixedMaxSize = 11 + 11 + 13 + 4 + 3 + 5 + 5 + 7 + 5 + 7 + 5 + 5 + 9 + 14 + 2;

constexpr uint32_t kSecondsPerDay = 86400;

// The Date and Local Time cells with the TAB between them, from the cache
// when the second has not changed and recomputing only the clock while the
// day stays the same. Seconds since 1980 always give in-range fields (years
// 1980 to 2116), so both cells are exactly six digits.
char* writeEventDateTime(EventRowContext& context, uint32_t seconds, char* out) {
  if (!context.cacheValid || seconds != context.cachedSeconds) {
    char* cell = context.cachedDateTime;
    const bool sameDay =
        context.cacheValid && seconds / kSecondsPerDay == context.cachedSeconds / kSecondsPerDay;
    DateTime dateTime;
    if (sameDay) {
      const uint32_t secondOfDay = seconds % kSecondsPerDay;
      dateTime.hour = secondOfDay / 3600;
      dateTime.minute = secondOfDay / 60 % 60;
      dateTime.second = secondOfDay % 60;
      writeTimeOfDay(cell + 7, dateTime);
    } else {
      secondsToDateTime(seconds, &dateTime, kEpochYear);
      writeTimeOfDay(writeTab(writeDate(cell, dateTime)), dateTime);
    }
    context.cachedSeconds = seconds;
    context.cacheValid = true;
  }
  std::memcpy(out, context.cachedDateTime, sizeof context.cachedDateTime);
  return out + sizeof context.cachedDateTime;
}

char* writeRow(EventRowContext& context, int32_t eventNumber, const EventRecord& record,
               const uint8_t* data, char* out) {
  const bool wideLsn = context.head->wideLsn;
  out = writeTab(writeEventNumber(out, eventNumber));
  out = writeTab(writeMilliseconds(out, static_cast<int32_t>(record.TimeStamp - context.referenceStamp)));
  out = writeTab(writeEventDateTime(context, eventSeconds(context, record.TimeStamp), out));
  out = writeTab(writeCommand(out, record.Cmd));
  out = writeTab(writeIpLetter(out, record.RC));
  out = writeTab(writeHex8(out, record.RC));
  out = writeTab(writeDecimal16(out, record.PoIn));
  out = writeTab(wideLsn ? writeHex16(out, record.LsnIn) : writeHex8(out, record.LsnIn));
  out = writeTab(writeDecimal16(out, record.PoOut));
  out = writeTab(wideLsn ? writeHex16(out, record.LsnOut) : writeHex8(out, record.LsnOut));
  out = writeTab(writeHex8(out, record.Info));
  out = writeTab(writeLength(out, record.Length));
  out = writeTab(writeAddress(out, record.BufferAddress));
  if (record.ContentLength > 0) {
    switch (context.dataFormat) {
      case DataFormat::Hex:
        out = writePayload(out, data, record.Length, record.ContentLength, PayloadMode::Hex);
        break;
      case DataFormat::Ascii:
        out = writePayload(out, data, record.Length, record.ContentLength, PayloadMode::Ascii);
        break;
      case DataFormat::HexAscii:
        out = writePayload(out, data, record.Length, record.ContentLength, PayloadMode::Hex);
        out = writeTab(out);
        out = writePayload(out, data, record.Length, record.ContentLength,
                           PayloadMode::Characters);
        break;
    }
  }
  return writeLineEnd(out);
}

}  // namespace

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

EventRowContext makeEventRowContext(const TraceHeader& header, uint16_t traceFormatVersion,
                                    DataFormat dataFormat, uint32_t referenceStamp) {
  const TraceDate date = header.firstEventDate();
  const TraceTime time = header.firstEventTime();
  const DateTime firstEvent{time.second, time.minute, time.hour, date.day, date.month, date.year};
  EventRowContext context;
  context.head = &layout::eventHeadLayout(traceFormatVersion);
  context.dataFormat = dataFormat;
  context.referenceStamp = referenceStamp;
  context.firstEventStamp = header.firstEventStamp();
  context.firstEventSeconds = dateTimeToSeconds(&firstEvent, kEpochYear);
  context.signedDistance = traceFormatVersion >= 7;
  return context;
}

uint32_t eventSeconds(const EventRowContext& context, uint32_t timeStamp) {
  const uint32_t distance = timeStamp - context.firstEventStamp;
  if (!context.signedDistance) return context.firstEventSeconds + distance / 1000;
  // Round toward minus infinity: 1 ms before the first event lies in the
  // second before it.
  const int32_t signedDistance = static_cast<int32_t>(distance);
  int32_t wholeSeconds = signedDistance / 1000;
  if (signedDistance % 1000 < 0) --wholeSeconds;
  return context.firstEventSeconds + static_cast<uint32_t>(wholeSeconds);
}

void writeEventRows(EventRowContext& context, int32_t& eventCounter, OutputBuffer& out,
                    uint8_t* buffer, int32_t& usedLength) {
  const size_t headSize = context.head->size;
  const size_t used = static_cast<size_t>(usedLength);
  const size_t dumps = context.dataFormat == DataFormat::HexAscii ? 2 : 1;
  size_t pos = 0;
  while (used - pos >= headSize) {
    const uint8_t* head = buffer + pos;
    const size_t contentLength = loadU16(head + context.head->contentLength);
    if (used - pos < headSize + contentLength) break;
    const EventRecord record = decodeEventHead(head, *context.head);
    const size_t shown = record.Length < contentLength ? record.Length : contentLength;
    char* cursor = out.reserve(kRowFixedMaxSize + dumps * payloadMaxSize(shown));
    eventCounter = static_cast<int32_t>(static_cast<uint32_t>(eventCounter) + 1);
    out.commit(writeRow(context, eventCounter, record, head + headSize, cursor));
    pos += headSize + contentLength;
  }
  const size_t rest = used - pos;
  if (rest > 0 && pos > 0) std::memmove(buffer, buffer + pos, rest);
  usedLength = static_cast<int32_t>(rest);
}

}  // namespace qnvtab
