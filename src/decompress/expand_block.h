// Block expansion: one block's event bytes, stored or decompressed, into
// the free space that the caller gives.
#ifndef QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_
#define QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "trace/block_reader.h"
#include "trace/trace_fault.h"

namespace qnvtab {

enum class ExpandResult : int {
  Expanded = 0,
  DecompressFailed = 2,    // faulty stream, or more bytes than the free space
  ServiceUnavailable = 3,  // the library could not be initialised
};

struct Expansion {
  ExpandResult result = ExpandResult::DecompressFailed;
  uint32_t produced = 0;    // bytes placed at the front of the free space
  int32_t libraryCode = 0;  // the library's code for a compressed block
};

// Places the block's bytes at the front of `freeSpace` and nowhere else.
// The payload must hold one readable byte beyond `length`: the library's
// bit reader may fetch one byte ahead before it detects the end of its
// input, though it never uses it. Stored blocks never touch the library.
Expansion expandBlock(const BlockHeader& header, const uint8_t* payload,
                      std::span<uint8_t> freeSpace);

// The fault of `block`, whose expansion into `freeSpace` bytes failed.
Fault expansionFault(const Expansion& expansion, const CheckedBlock& block, size_t freeSpace);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_
