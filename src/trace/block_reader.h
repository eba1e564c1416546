// Reading and checking one data block: a 6-byte block header and a payload
// of at most the footer's blockSize bytes, protected by a CRC-16.
#ifndef QNVTAB_TRACE_BLOCK_READER_H_
#define QNVTAB_TRACE_BLOCK_READER_H_

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "trace/trace_footer.h"
#include "trace/trace_format.h"

namespace qnvtab {

struct BlockHeader {
  std::array<uint8_t, layout::kBlockHeaderSize> bytes{};

  uint16_t firstWord() const { return loadU16(&bytes[layout::kBlockNumberOffset]); }
  uint16_t blockNumber() const { return firstWord() & layout::kBlockNumberMask; }
  // Set: the payload is event bytes as they are. Clear: one NRV2B stream.
  bool storedFlag() const { return (firstWord() & layout::kStoredFlag) != 0; }
  uint16_t length() const { return loadU16(&bytes[layout::kBlockLengthOffset]); }
  uint16_t checksum() const { return loadU16(&bytes[layout::kBlockChecksumOffset]); }
};

enum class BlockReadResult : int {
  Valid = 0,       // header filled, payload holds length() bytes
  EndedEarly = 1,  // header or payload cut short by the end of file, or length 0
  Invalid = 2,     // length over blockSize, wrong number or wrong checksum
};

// Reads the block at the current position of `input` into `header` and
// `payload` (at least footer.blockSize() bytes). The length is checked before
// any payload byte is read, so the payload buffer is never overrun. On
// failure, `why` (when given) receives a short reason.
BlockReadResult readBlock(std::FILE* input, const TraceFooter& footer, uint32_t expectedNumber,
                          BlockHeader& header, uint8_t* payload, std::string* why = nullptr);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_BLOCK_READER_H_
