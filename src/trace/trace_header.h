// The trace header: recognition of its three layouts (180, 191 and 203
// bytes) and normalisation into the 203-byte form that the rest of the
// program reads. The footer is read apart (trace_footer.h).
#ifndef QNVTAB_TRACE_TRACE_HEADER_H_
#define QNVTAB_TRACE_TRACE_HEADER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "trace/byte_source.h"
#include "trace/trace_fault.h"
#include "trace/trace_format.h"
#include "trace/trace_version.h"

namespace qnvtab {

struct TraceDate {
  unsigned day;
  unsigned month;
  unsigned year;
};

struct TraceTime {
  unsigned hour;
  unsigned minute;
  unsigned second;
};

struct GmtOffset {
  uint8_t sign;  // 0xFF: west of Greenwich; anything else: east
  uint8_t hours;
  uint8_t minutes;
  uint8_t spare;
};

// Always the 203-byte layout in memory; older layouts are normalised into it.
struct TraceHeader {
  std::array<uint8_t, layout::kHeaderSizeV8> bytes{};

  TraceDate startDate() const { return dateAt(layout::kStartDateOffset); }
  TraceTime startTime() const { return timeAt(layout::kStartTimeOffset); }
  TraceDate endDate() const { return dateAt(layout::kEndDateOffset); }
  TraceTime endTime() const { return timeAt(layout::kEndTimeOffset); }
  TraceDate firstEventDate() const { return dateAt(layout::kFirstEventDateOffset); }
  TraceTime firstEventTime() const { return timeAt(layout::kFirstEventTimeOffset); }
  uint32_t firstEventStamp() const { return loadU32(&bytes[layout::kFirstEventStampOffset]); }
  GmtOffset startGmtOffset() const { return offsetAt(layout::kStartGmtOffsetOffset); }
  GmtOffset endGmtOffset() const { return offsetAt(layout::kEndGmtOffsetOffset); }
  GmtOffset firstEventGmtOffset() const { return offsetAt(layout::kFirstEventGmtOffsetOffset); }
  // The text fields before the end mark as written (kind code, tag,
  // version, revision, description), less trailing blanks; any bytes.
  std::string_view text() const {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), layout::kEndMarkOffset);
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

 private:
  TraceDate dateAt(size_t offset) const {
    return {bytes[offset], bytes[offset + 1], loadU16(&bytes[offset + 2])};
  }
  TraceTime timeAt(size_t offset) const {
    return {bytes[offset], bytes[offset + 1], bytes[offset + 2]};
  }
  GmtOffset offsetAt(size_t offset) const {
    return {bytes[offset], bytes[offset + 1], bytes[offset + 2], bytes[offset + 3]};
  }
};

// The checks of one layout of `layoutSize` bytes at the front of `image`.
bool hasValidChecksumAndTag(const uint8_t* image, size_t layoutSize);
bool hasVersion(const uint8_t* image, size_t layoutSize, int major, int minor);
bool hasRevision(const uint8_t* image, size_t layoutSize, int revision);

// Reads a decimal text field as a formatted scan of that width does:
// leading white space skipped, an optional sign, then digits, at most
// `width` characters counted from the sign on. False when no digit is read.
bool scanDecimalField(const uint8_t* field, const uint8_t* end, int width, int& value);

struct HeaderRead {
  TraceHeader header;  // normalised
  TraceVersion version;
  size_t layoutSize = 0;  // where the first block begins
  int64_t fileSize = 0;
  bool checksumRight = true;  // false: taken by its text alone
};

// Recognises the header at the start of `source`. The file must also hold
// a footer behind the layout. On a fault, `header` is left unspecified.
std::optional<Fault> readTraceHeader(ByteSource& source, HeaderRead& header);

// Recognises the header by its text prefix alone, whatever its checksum:
// the tag, and the version and revision that name a layout. The binary
// fields read so are unverified unless `checksumRight`.
std::optional<Fault> readHeaderByText(ByteSource& source, HeaderRead& header);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_HEADER_H_
