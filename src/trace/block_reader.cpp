#include "trace/block_reader.h"


#include "trace/crc16.h"

namespace qnvtab {
namespace {

BlockReadResult fail(BlockReadResult result, std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return result;
}

std::string hex16(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", v);
  return text;
}

}  // namespace

BlockReadResult readBlock(std::FILE* input, const TraceFooter& footer, uint32_t expectedNumber,
                          BlockHeader& header, uint8_t* payload, std::string* why) {
  const size_t headerRead = std::fread(header.bytes.data(), 1, header.bytes.size(), input);
  if (headerRead != header.bytes.size()) {
    return fail(BlockReadResult::EndedEarly, why,
                "block header cut short by the end of the file (" + std::to_string(headerRead) +
                    " of 6 bytes)");
  }
  const uint16_t length = header.length();
  if (length > footer.blockSize()) {
    return fail(BlockReadResult::Invalid, why,
                "payload length " + std::to_string(length) + " exceeds the block size " +
                    std::to_string(footer.blockSize()));
  }
  if (header.blockNumber() != expectedNumber) {
    return fail(BlockReadResult::Invalid, why,
                "block number " + std::to_string(header.blockNumber()) + ", expected " +
                    std::to_string(expectedNumber));
  }
  if (length == 0) {
    return fail(BlockReadResult::EndedEarly, why, "payload length 0");
  }
  const size_t payloadRead = std::fread(payload, 1, length, input);
  if (payloadRead != length) {
    return fail(BlockReadResult::EndedEarly, why,
                "payload cut short by the end of the file (" + std::to_string(payloadRead) +
                    " of " + std::to_string(length) + " bytes)");
  }
  const uint16_t computed = crc16(payload, length);
  if (computed != header.checksum()) {
    return fail(BlockReadResult::Invalid, why,
                "payload checksum " + hex16(computed) + ", expected " + hex16(header.checksum()));
  }
  return BlockReadResult::Valid;
}

}  // namespace qnvtab
