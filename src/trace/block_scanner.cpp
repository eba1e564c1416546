#include "trace/block_scanner.h"

#include <algorithm>
#include <vector>

#include "trace/crc16.h"
#include "trace/trace_format.h"

namespace qnvtab {
namespace {

constexpr size_t kBlockReach = layout::kBlockHeaderSize + 0xFFFF;  // the longest block
// A candidate and the block after it must lie in the window together.
constexpr size_t kLookahead = 2 * kBlockReach;
constexpr size_t kWindowSize = (size_t{1} << 19) + kLookahead;
constexpr uint64_t kSmallestBlock = layout::kBlockHeaderSize + 1;

// A window of the source's bytes from `base` on.
struct Window {
  std::vector<uint8_t> bytes;
  uint64_t base = 0;
  size_t size = 0;

  bool load(ByteSource& source, uint64_t from, uint64_t dataEnd) {
    base = from;
    const uint64_t wanted = std::min<uint64_t>(bytes.size(), dataEnd - from);
    size = source.readAt(from, bytes.data(), static_cast<size_t>(wanted)).bytes;
    return size == wanted;
  }
  const uint8_t* at(uint64_t offset) const { return bytes.data() + (offset - base); }
};

// The block header at `offset` in the window, if its number and length fit.
bool plausibleHeader(const Window& window, uint64_t offset, uint32_t minNumber,
                     uint32_t maxNumber, const BlockSearch& search, uint16_t& length) {
  if (offset + layout::kBlockHeaderSize > search.dataEnd) return false;
  const uint8_t* head = window.at(offset);
  const uint32_t number = loadU16(head + layout::kBlockNumberOffset) & layout::kBlockNumberMask;
  if (number < minNumber || number > maxNumber) return false;
  length = loadU16(head + layout::kBlockLengthOffset);
  return length != 0 && length <= search.maxLength &&
         offset + layout::kBlockHeaderSize + length <= search.dataEnd;
}

bool payloadChecks(const Window& window, uint64_t offset, uint16_t length) {
  const uint8_t* head = window.at(offset);
  return crc16(head + layout::kBlockHeaderSize, length) ==
         loadU16(head + layout::kBlockChecksumOffset);
}

// A block at `offset` that checks and is confirmed by what follows it.
std::optional<FoundBlock> confirmedAt(const Window& window, uint64_t offset, uint32_t maxNumber,
                                      const BlockSearch& search) {
  uint16_t length = 0;
  if (!plausibleHeader(window, offset, search.minNumber, maxNumber, search, length)) return {};
  const uint32_t number = loadU16(window.at(offset)) & layout::kBlockNumberMask;
  const uint64_t end = offset + layout::kBlockHeaderSize + length;
  if (end != search.dataEnd) {
    uint16_t nextLength = 0;
    if (number + 1 > search.maxNumber ||
        !plausibleHeader(window, end, number + 1, number + 1, search, nextLength) ||
        !payloadChecks(window, end, nextLength)) {
      return {};
    }
  }
  if (!payloadChecks(window, offset, length)) return {};
  return FoundBlock{offset, number};
}

}  // namespace

bool blockChecksAt(ByteSource& source, uint64_t offset, uint32_t number, const BlockSearch& search,
                   uint16_t& length) {
  Window window;
  window.bytes.resize(kBlockReach);
  if (offset >= search.dataEnd) return false;
  window.load(source, offset, search.dataEnd);
  const uint64_t loadedEnd = window.base + window.size;
  BlockSearch bounded = search;
  bounded.dataEnd = std::min(search.dataEnd, loadedEnd);
  return plausibleHeader(window, offset, number, number, bounded, length) &&
         payloadChecks(window, offset, length);
}

std::optional<FoundBlock> findNextBlock(ByteSource& source, const BlockSearch& search) {
  Window window;
  window.bytes.resize(kWindowSize);
  for (uint64_t offset = search.from; offset < search.dataEnd;) {
    if (!window.load(source, offset, search.dataEnd)) return {};
    // Offsets whose candidate and follower fit in this window, or all that
    // are left when the window reaches the end of the data.
    const uint64_t windowEnd = window.base + window.size;
    const uint64_t last = windowEnd == search.dataEnd ? windowEnd : windowEnd - kLookahead;
    for (; offset < last; ++offset) {
      const uint64_t crossed = (offset - search.from) / kSmallestBlock + 1;
      const uint32_t maxNumber = static_cast<uint32_t>(
          std::min<uint64_t>(search.maxNumber, search.minNumber + crossed));
      if (std::optional<FoundBlock> found = confirmedAt(window, offset, maxNumber, search)) {
        return found;
      }
    }
  }
  return {};
}

}  // namespace qnvtab
