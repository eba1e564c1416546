#include "table/event_cells.h"

#include <cstring>
#include <new>

namespace qnvtab {
namespace {

constexpr size_t kDumpRoom = payloadMaxSize(UINT16_MAX) + 1;  // and the NUL

// The text between `begin` and `end` without the quotes of a quoted cell,
// NUL-terminated in place.
std::string_view unquoted(char* begin, char* end) {
  if (*begin == '"') {
    ++begin;
    --end;
  }
  *end = '\0';
  return {begin, static_cast<size_t>(end - begin)};
}

// Every doubled quote of `text` made single again, in place.
size_t undoubleQuotes(char* text, size_t size) {
  size_t kept = 0;
  for (size_t i = 0; i < size; ++i, ++kept) {
    text[kept] = text[i];
    if (text[i] == '"') ++i;
  }
  return kept;
}

}  // namespace

EventCells::EventCells() : dumps_(new (std::nothrow) char[2 * kDumpRoom]) {}

void EventCells::begin(const TraceHeader& header, TraceVersion version,
                       const RowOptions& options) {
  head_ = &version.eventHead();
  dataFormat_ = options.dataFormat;
  referenceStamp_ = options.timesRelativeToFirstEvent ? header.firstEventStamp() : 0;
  clock_.emplace(header, version);
}

void EventCells::load(const uint8_t* head, int32_t number) {
  number_ = number;
  record_ = decodeEventHead(head, *head_);
  data_ = head + head_->size;
  shown_ = record_.Length < record_.ContentLength ? record_.Length : record_.ContentLength;
  time_ = clock_->timeOf(record_.TimeStamp);
  dateTimeText_ = dateTime_.of(time_.seconds);
}

int64_t EventCells::integer(Column column) const {
  switch (column) {
    case Column::Event:
      return number_;
    case Column::TimeMsec:
      return static_cast<int32_t>(record_.TimeStamp - referenceStamp_);
    case Column::RC:
      return record_.RC;
    case Column::PoIn:
      return record_.PoIn;
    case Column::LsnIn:
      return record_.LsnIn;
    case Column::PoOut:
      return record_.PoOut;
    case Column::LsnOut:
      return record_.LsnOut;
    case Column::Info:
      return record_.Info;
    case Column::Length:
      return record_.Length;
    case Column::BufferAddress:
      return record_.BufferAddress;
    default:
      return 0;
  }
}

std::string_view EventCells::text(Column column, size_t limit) {
  lastTextCut_ = false;
  if (column == Column::Dump || column == Column::SecondDump) {
    if (column == Column::SecondDump) {
      return dumpText(dumps_.get() + kDumpRoom, PayloadMode::Characters, limit);
    }
    return dumpText(dumps_.get(), dataFormat_ == DataFormat::Ascii ? PayloadMode::Ascii
                                                                   : PayloadMode::Hex,
                    limit);
  }
  char* const out = fixed_[static_cast<int>(column)];
  const bool wideLsn = head_->wideLsn;
  char* end = out;
  switch (column) {
    case Column::Event:
      end = writeEventNumber(out, number_);
      break;
    case Column::TimeMsec:
      end = writeMilliseconds(out, static_cast<int32_t>(integer(Column::TimeMsec)));
      break;
    case Column::Date:
      end = static_cast<char*>(std::memcpy(out, dateTimeText_, DateTimeText::kDateSize)) +
            DateTimeText::kDateSize;
      break;
    case Column::LocalTime:
      end = static_cast<char*>(std::memcpy(out, dateTimeText_ + DateTimeText::kTimeOffset,
                                           DateTimeText::kSize - DateTimeText::kTimeOffset)) +
            (DateTimeText::kSize - DateTimeText::kTimeOffset);
      break;
    case Column::Cmd:
      end = writeCommand(out, record_.Cmd);
      break;
    case Column::S:
      end = writeIpLetter(out, record_.RC);
      break;
    case Column::RC:
      end = writeHex8(out, record_.RC);
      break;
    case Column::PoIn:
      end = writeDecimal16(out, record_.PoIn);
      break;
    case Column::LsnIn:
      end = wideLsn ? writeHex16(out, record_.LsnIn) : writeHex8(out, record_.LsnIn);
      break;
    case Column::PoOut:
      end = writeDecimal16(out, record_.PoOut);
      break;
    case Column::LsnOut:
      end = wideLsn ? writeHex16(out, record_.LsnOut) : writeHex8(out, record_.LsnOut);
      break;
    case Column::Info:
      end = writeHex8(out, record_.Info);
      break;
    case Column::Length:
      end = writeLength(out, record_.Length);
      break;
    default:
      end = writeAddress(out, record_.BufferAddress);
      break;
  }
  return unquoted(out, end);
}

std::string_view EventCells::dumpText(char* out, PayloadMode mode, size_t limit) {
  if (!hasDump()) {
    *out = '\0';
    return {out, 0};
  }
  std::string_view text =
      unquoted(out, writePayload(out, data_, record_.Length, record_.ContentLength, mode));
  char* const begin = out + 1;
  size_t size = text.size();
  if (mode != PayloadMode::Hex && std::memchr(begin, '"', size) != nullptr) {
    size = undoubleQuotes(begin, size);
  }
  if (size > limit) {
    // Each byte shows as an entry of `stride` characters, the last without
    // its separator.
    const size_t stride = mode == PayloadMode::Characters ? 2 : 3;
    size = ((limit - 3) / stride) * stride - 1;
    std::memcpy(begin + size, " ...", 4);
    size += 4;
    lastTextCut_ = true;
  }
  begin[size] = '\0';
  return {begin, size};
}

}  // namespace qnvtab
