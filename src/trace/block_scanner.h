// Finding blocks again after damage. A CRC-16 alone is far too weak to
// tell a block from trace bytes that happen to look like one, so a block is
// believed only when its number fits, its checksum is right and the block
// after it checks too (or it ends exactly where the data ends). Reports
// what it finds; deciding what to do with it is the caller's.
#ifndef QNVTAB_TRACE_BLOCK_SCANNER_H_
#define QNVTAB_TRACE_BLOCK_SCANNER_H_

#include <cstdint>
#include <optional>

#include "trace/byte_source.h"

namespace qnvtab {

struct FoundBlock {
  uint64_t offset = 0;
  uint32_t number = 0;
};

struct BlockSearch {
  uint64_t from = 0;     // the first offset looked at
  uint64_t dataEnd = 0;  // no block reaches past this
  uint32_t minNumber = 1;  // never a block numbered below the expected one
  uint32_t maxNumber = 0x7FFF;
  uint16_t maxLength = 0xFFFF;  // the payload bound
};

// True when a whole block of payload length 1 to `search.maxLength` that
// ends by `search.dataEnd` lies at `offset`, numbered `number`, with a right
// checksum. `length` receives its payload length.
bool blockChecksAt(ByteSource& source, uint64_t offset, uint32_t number, const BlockSearch& search,
                   uint16_t& length);

// The first confirmed block at or after `search.from`. Numbers and lengths
// are tested before any checksum, so damaged regions are crossed fast; the
// number may grow by at most one for every 7 bytes crossed (the smallest
// block). Reads through a window of fixed size; every step advances.
std::optional<FoundBlock> findNextBlock(ByteSource& source, const BlockSearch& search);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_BLOCK_SCANNER_H_
