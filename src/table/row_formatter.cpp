#include "table/row_formatter.h"

#include <cstring>

#include "table/cell_format.h"

namespace qnvtab {
namespace {

// The widest row without its dump: every cell at its widest, the 14 TABs
// and the line end.
constexpr size_t kRowFixedMaxSize =
    cell_width::kEventNumber + cell_width::kMilliseconds + cell_width::kDateAndTime +
    cell_width::kCommand + cell_width::kIpLetter + cell_width::kHex8 /* RC */ +
    2 * (cell_width::kDecimal16 + cell_width::kHex16) /* ports and sessions */ +
    cell_width::kHex8 /* Info */ + cell_width::kDecimal16 /* Length */ + cell_width::kAddress +
    14 + 2;

static_assert(kRowFixedMaxSize + 2 * payloadMaxSize(UINT16_MAX) <= RowFormatter::kMaxRowSize);

}  // namespace

RowFormatter::RowFormatter(const TraceHeader& header, TraceVersion version,
                           const RowOptions& options)
    : head_(&version.eventHead()),
      dataFormat_(options.dataFormat),
      referenceStamp_(options.timesRelativeToFirstEvent ? header.firstEventStamp() : 0),
      clock_(header, version) {}

size_t RowFormatter::maxRowSize(const EventRecord& record) const {
  const size_t dumps = dataFormat_ == DataFormat::HexAscii ? 2 : 1;
  const size_t shown = record.Length < record.ContentLength ? record.Length : record.ContentLength;
  return kRowFixedMaxSize + dumps * payloadMaxSize(shown);
}

size_t RowFormatter::maxRowsSize(uint32_t count, size_t size) const {
  // A dump grows by the same amount for every byte shown, and a record
  // shows at most the bytes behind its head.
  const size_t dumps = dataFormat_ == DataFormat::HexAscii ? 2 : 1;
  const size_t perShownByte = payloadMaxSize(1) - payloadMaxSize(0);
  return count * (kRowFixedMaxSize + dumps * payloadMaxSize(0)) +
         dumps * perShownByte * (size - count * head_->size);
}

char* RowFormatter::writeRow(int32_t eventNumber, const EventRecord& record,
                             const uint8_t* head, char* out) {
  const uint8_t* data = head + head_->size;
  const bool wideLsn = head_->wideLsn;
  out = writeTab(writeEventNumber(out, eventNumber));
  out = writeTab(writeMilliseconds(out, static_cast<int32_t>(record.TimeStamp - referenceStamp_)));
  std::memcpy(out, dateTime_.of(clock_.secondsOf(record.TimeStamp)), DateTimeText::kSize);
  out = writeTab(out + DateTimeText::kSize);
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
    switch (dataFormat_) {
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

}  // namespace qnvtab
