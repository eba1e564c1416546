// Block expansion: appends one block's event bytes, stored or decompressed,
// to the free space of the carry-over buffer.
#ifndef QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_
#define QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_

#include <cstdint>

#include "decompress/ucl_service.h"
#include "trace/block_reader.h"

namespace qnvtab {

enum class ExpandResult : int {
  Expanded = 0,
  DecompressFailed = 2,    // faulty stream, or more bytes than the free space
  ServiceUnavailable = 3,  // the library could not be initialised
};

// Appends the block's bytes at carryBuffer[usedLength] and advances
// usedLength by their count; on any other result usedLength is unchanged.
// Nothing is written at or past `capacity`. The payload buffer must hold one
// readable byte beyond `length`: the library's bit reader may fetch one byte
// ahead before it detects the end of its input, though it never uses it.
// Stored blocks never touch the library.
ExpandResult expandBlock(UclService& service, const BlockHeader& header, const uint8_t* payload,
                         uint8_t* carryBuffer, int32_t& usedLength, int32_t capacity);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_EXPAND_BLOCK_H_
