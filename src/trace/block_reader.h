// Reading and checking the data blocks in file order: a 6-byte block header
// and a payload of at most the footer's blockSize bytes, protected by a
// CRC-16.
#ifndef QNVTAB_TRACE_BLOCK_READER_H_
#define QNVTAB_TRACE_BLOCK_READER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "trace/byte_source.h"
#include "trace/trace_fault.h"
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

// The blocks that passed their checks, by kind, and their bytes: what
// compression saved.
struct BlockTally {
  uint32_t stored = 0;
  uint32_t compressed = 0;
  uint64_t payloadBytes = 0;   // as kept in the file, block headers not counted
  uint64_t expandedBytes = 0;  // of the event stream

  void count(const BlockHeader& header, size_t expanded) {
    ++(header.storedFlag() ? stored : compressed);
    payloadBytes += header.length();
    expandedBytes += expanded;
  }
};

// A block that passed its checks.
struct CheckedBlock {
  BlockHeader header;
  uint32_t number = 0;
  uint64_t offset = 0;  // of its block header in the file
  // header.length() bytes, then one zeroed spare byte (see expandBlock).
  const uint8_t* payload = nullptr;
};

class BlockReader {
 public:
  // Blocks begin at `firstBlockOffset`; the first is number 1.
  BlockReader(ByteSource& source, uint64_t firstBlockOffset, uint16_t blockSize);

  // False when the payload buffer could not be allocated.
  bool allocated() const { return payload_ != nullptr; }
  size_t bufferSize() const { return size_t{blockSize_} + 1; }

  // Reads and checks the next block. The checks run in this order: the
  // header is whole, the length is within blockSize (before any payload
  // byte is read, so the buffer is never overrun), the number is the
  // expected one, the length is not 0, the payload is whole, its checksum.
  // The block's payload stays valid until the next call.
  std::optional<Fault> next(CheckedBlock& block);
  // The same, but a block whose number alone is wrong is taken as the
  // expected one: for a repair that something else has confirmed.
  std::optional<Fault> nextWhateverItsNumber(CheckedBlock& block);
  // The same, leaving the checksum to the caller: for blocks checked on
  // another thread, and read again here when the checksum fails. The
  // payload and its spare byte go to `payload`, bufferSize() bytes that
  // stay the caller's.
  std::optional<Fault> nextUnverified(CheckedBlock& block, uint8_t* payload);

  // Where the next block is looked for, and the number it must carry.
  uint64_t offset() const { return offset_; }
  uint32_t expectedNumber() const { return expectedNumber_; }
  void moveTo(uint64_t offset, uint32_t expectedNumber) {
    offset_ = offset;
    expectedNumber_ = expectedNumber;
  }

 private:
  std::optional<Fault> read(CheckedBlock& block, bool checkNumber, bool checkChecksum,
                            uint8_t* payload);

  ByteSource& source_;
  uint64_t offset_;
  uint16_t blockSize_;
  uint32_t expectedNumber_ = 1;
  std::unique_ptr<uint8_t[]> payload_;
};

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_BLOCK_READER_H_
