#include "trace/block_reader.h"

#include <new>

#include "trace/crc16.h"

namespace qnvtab {

BlockReader::BlockReader(ByteSource& source, uint64_t firstBlockOffset, uint16_t blockSize)
    : source_(source),
      offset_(firstBlockOffset),
      blockSize_(blockSize),
      payload_(new (std::nothrow) uint8_t[size_t{blockSize} + 1]()) {}

std::optional<Fault> BlockReader::next(CheckedBlock& block) {
  return read(block, true, true, payload_.get());
}

std::optional<Fault> BlockReader::nextWhateverItsNumber(CheckedBlock& block) {
  return read(block, false, true, payload_.get());
}

std::optional<Fault> BlockReader::nextUnverified(CheckedBlock& block, uint8_t* payload) {
  return read(block, true, false, payload);
}

std::optional<Fault> BlockReader::read(CheckedBlock& block, bool checkNumber,
                                       bool checkChecksum, uint8_t* payload) {
  const uint32_t number = expectedNumber_;
  const auto faultOf = [&](FaultKind kind, uint64_t found, uint64_t expected) {
    Fault fault = makeFault(kind, offset_, number);
    fault.found = found;
    fault.expected = expected;
    return fault;
  };
  BlockHeader& header = block.header;
  const SourceRead head = source_.readAt(offset_, header.bytes.data(), header.bytes.size());
  if (head.error != 0) return readFault(offset_, head.error, number);
  if (head.bytes != header.bytes.size()) {
    return faultOf(FaultKind::BlockHeaderCut, head.bytes, header.bytes.size());
  }
  const uint16_t length = header.length();
  if (length > blockSize_) return faultOf(FaultKind::BlockTooLong, length, blockSize_);
  if (checkNumber && header.blockNumber() != number) {
    return faultOf(FaultKind::BlockNumber, header.blockNumber(), number);
  }
  if (length == 0) return faultOf(FaultKind::EmptyBlock, 0, 0);
  const uint64_t payloadOffset = offset_ + layout::kBlockHeaderSize;
  const SourceRead body = source_.readAt(payloadOffset, payload, length);
  if (body.error != 0) return readFault(offset_, body.error, number);
  if (body.bytes != length) return faultOf(FaultKind::PayloadCut, body.bytes, length);
  const uint16_t computed = checkChecksum ? crc16(payload, length) : header.checksum();
  if (computed != header.checksum()) {
    return faultOf(FaultKind::PayloadChecksum, computed, header.checksum());
  }
  payload[length] = 0;
  block.number = number;
  block.offset = offset_;
  block.payload = payload;
  offset_ = payloadOffset + length;
  ++expectedNumber_;
  return std::nullopt;
}

}  // namespace qnvtab
