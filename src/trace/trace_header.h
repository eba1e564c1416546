// The trace header: recognition of its three layouts (180, 191 and 203
// bytes), validation together with the footer, and normalisation into the
// 203-byte form that the rest of the program reads.
#ifndef QNVTAB_TRACE_TRACE_HEADER_H_
#define QNVTAB_TRACE_TRACE_HEADER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "trace/trace_footer.h"
#include "trace/trace_format.h"

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

  // A header holding only the text prefix of version "00000.000" revision
  // "01" and zero binary fields.
  static TraceHeader fresh();

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

// Writes the fresh text prefix (54 bytes) at the front of a header image.
void writeFreshTextPrefix(uint8_t* image);

// The checks of one layout of `layoutSize` bytes at the front of `image`.
bool hasValidChecksumAndTag(const uint8_t* image, size_t layoutSize);
bool hasVersion(const uint8_t* image, size_t layoutSize, int major, int minor);
bool hasRevision(const uint8_t* image, size_t layoutSize, int revision);

// Reads a decimal text field as a formatted scan of that width does:
// leading white space skipped, an optional sign, then digits, at most
// `width` characters counted from the sign on. False when no digit is read.
bool scanDecimalField(const uint8_t* field, const uint8_t* end, int width, int& value);

// Recognises and validates the header of `input` together with its footer.
// On true: `header` holds the normalised 203-byte form, `footer` the file's
// footer, `traceFormatVersion` the major version (5 to 8), and `input` is
// positioned at the first block. On false, `why` (when given) receives the
// reason and nothing else is promised.
bool readTraceHeader(std::FILE* input, TraceHeader& header, TraceFooter& footer,
                     uint16_t& traceFormatVersion, std::string* why = nullptr);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_HEADER_H_
