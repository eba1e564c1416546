#include "decompress/expand_block.h"

#include <cstring>

namespace qnvtab {

ExpandResult expandBlock(UclService& service, const BlockHeader& header, const uint8_t* payload,
                         uint8_t* carryBuffer, int32_t& usedLength, int32_t capacity) {
  const uint32_t freeSpace = static_cast<uint32_t>(capacity - usedLength);
  const uint16_t length = header.length();
  if (header.storedFlag()) {
    if (length > freeSpace) return ExpandResult::DecompressFailed;
    std::memcpy(carryBuffer + usedLength, payload, length);
    usedLength += length;
    return ExpandResult::Expanded;
  }
  if (service.initialise() != UclServiceResult::Success) return ExpandResult::ServiceUnavailable;
  uint32_t produced = freeSpace;
  if (service.decompress(payload, length, carryBuffer + usedLength, produced) !=
          UclServiceResult::Success ||
      produced > freeSpace) {
    return ExpandResult::DecompressFailed;
  }
  usedLength += static_cast<int32_t>(produced);
  return ExpandResult::Expanded;
}

}  // namespace qnvtab
