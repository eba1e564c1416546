// Byte layout of a trace file: header, blocks, footer and the event records
// inside the expanded block stream. Every multi-byte field is little-endian
// and unaligned, so fields are always decoded with explicit byte loads.
#ifndef QNVTAB_TRACE_TRACE_FORMAT_H_
#define QNVTAB_TRACE_TRACE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace qnvtab {

inline uint16_t loadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t loadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void storeU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

namespace layout {

// Header: a 54-byte text prefix, then binary fields. Three layouts:
//   180 bytes (versions 5 and 6): dates and times, device fields, checksum
//   191 bytes (version 7): + first event date, time and stamp
//   203 bytes (version 8): + three GMT offsets
// The checksum is always the last two bytes of the layout.
constexpr size_t kHeaderSizeV5 = 180;
constexpr size_t kHeaderSizeV7 = 191;
constexpr size_t kHeaderSizeV8 = 203;

constexpr size_t kKindCodeOffset = 0;
constexpr size_t kTagOffset = 3;
constexpr size_t kTagSize = 6;
constexpr char kTag[kTagSize + 1] = "TRC   ";
constexpr size_t kMajorVersionOffset = 10;
constexpr int kMajorVersionWidth = 5;
constexpr size_t kMinorVersionOffset = 16;
constexpr int kMinorVersionWidth = 3;
constexpr size_t kRevisionOffset = 20;
constexpr int kRevisionWidth = 2;
constexpr size_t kDescriptionOffset = 23;
constexpr size_t kEndMarkOffset = 53;
constexpr size_t kTextPrefixSize = 54;

// TraceDate: day u8, month u8, year u16. TraceTime: hour, minute, second.
// GmtOffset: sign u8 (0xFF west), hours u8, minutes u8, spare u8.
constexpr size_t kTraceTimeSize = 3;

constexpr size_t kStartDateOffset = 54;
constexpr size_t kStartTimeOffset = 58;
constexpr size_t kEndDateOffset = 61;
constexpr size_t kEndTimeOffset = 65;
constexpr size_t kFirstEventDateOffset = 178;
constexpr size_t kFirstEventTimeOffset = 182;
constexpr size_t kFirstEventStampOffset = 185;
constexpr size_t kStartGmtOffsetOffset = 189;
constexpr size_t kEndGmtOffsetOffset = 193;
constexpr size_t kFirstEventGmtOffsetOffset = 197;

// Footer, the last 16 bytes of the file:
//   blockSize u16 | blockCount u16 | (4) | dataLength u32 | (2) | checksum u16
constexpr size_t kFooterSize = 16;
constexpr size_t kFooterBlockSizeOffset = 0;
constexpr size_t kFooterBlockCountOffset = 2;
constexpr size_t kFooterDataLengthOffset = 8;
constexpr size_t kFooterChecksumOffset = 14;

// Block header, in front of every block's payload:
//   number u16 (bit 15: stored flag) | length u16 | payload checksum u16
constexpr size_t kBlockHeaderSize = 6;
constexpr size_t kBlockNumberOffset = 0;
constexpr size_t kBlockLengthOffset = 2;
constexpr size_t kBlockChecksumOffset = 4;
constexpr uint16_t kStoredFlag = 0x8000;
constexpr uint16_t kBlockNumberMask = 0x7FFF;

// Event record head. The 23-byte head (version 5) has 8-bit LsnIn/LsnOut,
// the 25-byte head (all other versions) 16-bit ones. Both start with two
// bytes that the converter skips.
struct EventHeadLayout {
  size_t size;
  size_t timeStamp;
  size_t poIn;
  size_t lsnIn;
  size_t poOut;
  size_t lsnOut;
  size_t cmd;
  size_t info;
  size_t rc;
  size_t length;
  size_t bufferAddress;
  size_t contentLength;
  bool wideLsn;
};

constexpr EventHeadLayout kEventHead23 = {23, 2, 6, 8, 9, 11, 12, 13, 14, 15, 17, 21, false};
constexpr EventHeadLayout kEventHead25 = {25, 2, 6, 8, 10, 12, 14, 15, 16, 17, 19, 23, true};

}  // namespace layout
}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_FORMAT_H_
