#include "jsonl/jsonl_sink.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "jsonl/json_text.h"

namespace qnvtab {
namespace {

// Room for the key and the value of any cell but the dumps and the data,
// and for the line's end.
constexpr size_t kCellRoom = 128;
// Dumps are escaped in pieces of this many bytes, so that any dump fits
// the buffer.
constexpr size_t kPieceSize = 16384;

char* writeKey(char* out, std::string_view key) {
  std::memcpy(out, key.data(), key.size());
  return out + key.size();
}

char* writeInteger(char* out, int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

char* writeTime(char* out, const char* text) {
  *out++ = '"';
  std::memcpy(out, text, kIsoTimeSize);
  out += kIsoTimeSize;
  *out++ = '"';
  return out;
}

}  // namespace

JsonlSink::JsonlSink(ByteSink& sink, std::string_view trace) : sink_(sink), out_(sink), lead_("{") {
  if (trace.empty()) return;
  std::string name(maxJsonStringSize(trace.size()), '\0');
  name.resize(static_cast<size_t>(writeJsonString(name.data(), trace) - name.data()));
  lead_ = "{\"trace\":" + name + ",";
}

void JsonlSink::begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) {
  cells_.begin(header, version, options);
  columns_ = tableColumns(options.dataFormat);
  keys_.clear();
  for (const TableColumn& column : columns_) {
    keys_.push_back(std::string(keys_.empty() ? "" : ",") + "\"" + column.name + "\":");
  }
  if (version.hasGmtOffsets()) utcOffset_ = secondsEast(header.firstEventGmtOffset());
}

bool JsonlSink::write(const RecordRun& run) {
  if (failed()) return false;
  cells_.forEachEvent(run, [this](EventCells& cells) { writeEvent(cells); });
  return !failed();
}

void JsonlSink::writeString(std::string_view text) {
  char* out = out_.reserve(2);
  *out++ = '"';
  out_.commit(out);
  for (size_t at = 0; at < text.size(); at += kPieceSize) {
    const std::string_view piece = text.substr(at, kPieceSize);
    out_.commit(writeJsonEscaped(out_.reserve(6 * piece.size()), piece));
  }
  out = out_.reserve(1);
  *out++ = '"';
  out_.commit(out);
}

void JsonlSink::writeEvent(EventCells& cells) {
  char* out = out_.reserve(lead_.size() + keys_.size() * kCellRoom + 2 * kIsoTimeSize);
  out = writeKey(out, lead_);
  for (size_t index = 0; index < columns_.size(); ++index) {
    const TableColumn& column = columns_[index];
    if (column.kind == CellKind::Dump) {
      if (column.column == Column::Dump) {
        // The data bytes in hex, before their dumps.
        out = writeKey(out, ",\"data\":\"");
        out_.commit(out);
        const std::span<const uint8_t> bytes =
            cells.hasDump() ? cells.shownBytes() : std::span<const uint8_t>();
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (size_t at = 0; at < bytes.size(); at += kPieceSize) {
          out = out_.reserve(2 * kPieceSize);
          for (size_t i = at; i < bytes.size() && i < at + kPieceSize; ++i) {
            *out++ = kHex[bytes[i] >> 4];
            *out++ = kHex[bytes[i] & 0xF];
          }
          out_.commit(out);
        }
        out = out_.reserve(kCellRoom);
        *out++ = '"';
      }
      out = writeKey(out, keys_[index]);
      out_.commit(out);
      writeString(cells.hasDump() ? cells.text(column.column) : std::string_view());
      out = out_.reserve(kCellRoom);
      continue;
    }
    out = writeKey(out, keys_[index]);
    out = column.holdsInteger() ? writeInteger(out, cells.integer(column.column))
                                : writeJsonString(out, cells.text(column.column));
    if (column.column == Column::LocalTime) {
      const EventTime local = cells.time();
      out = writeTime(writeKey(out, ",\"timestamp\":"), localText_.of(local));
      const std::optional<EventTime> utc = utcOffset_ ? utcOf(local, *utcOffset_) : std::nullopt;
      out = writeKey(out, ",\"timestamp_utc\":");
      out = utc ? writeTime(out, utcText_.of(*utc)) : writeKey(out, "null");
    }
  }
  *out++ = '}';
  *out++ = '\n';
  out_.commit(out);
}

std::string JsonlSink::failureReason() const { return std::strerror(sink_.lastError()); }

}  // namespace qnvtab
