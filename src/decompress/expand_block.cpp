#include "decompress/expand_block.h"

#include <cstring>

#include "decompress/nrv2b_decoder.h"
#include "decompress/ucl_library.h"

namespace qnvtab {

Expansion expandBlock(const BlockHeader& header, const uint8_t* payload,
                      std::span<uint8_t> freeSpace) {
  Expansion expansion;
  const uint16_t length = header.length();
  if (header.storedFlag()) {
    if (length > freeSpace.size()) return expansion;
    std::memcpy(freeSpace.data(), payload, length);
    expansion.result = ExpandResult::Expanded;
    expansion.produced = length;
    return expansion;
  }
  const UclResult ready = initialiseUcl();
  if (ready.status != UclServiceResult::Success) {
    expansion.result = ExpandResult::ServiceUnavailable;
    expansion.libraryCode = ready.libraryCode;
    return expansion;
  }
  // The fast decoder settles sound streams; the library judges the others,
  // so that a fault is told with the library's own code.
  if (const std::optional<uint32_t> produced = decodeNrv2b({payload, length}, freeSpace)) {
    expansion.result = ExpandResult::Expanded;
    expansion.produced = *produced;
    return expansion;
  }
  const UclResult decoded = decompressNrv2b({payload, length}, freeSpace);
  expansion.libraryCode = decoded.libraryCode;
  if (decoded.status == UclServiceResult::Success && decoded.produced <= freeSpace.size()) {
    expansion.result = ExpandResult::Expanded;
    expansion.produced = decoded.produced;
  }
  return expansion;
}

Fault expansionFault(const Expansion& expansion, const CheckedBlock& block, size_t freeSpace) {
  FaultKind kind = FaultKind::DecompressFailed;
  if (expansion.result == ExpandResult::ServiceUnavailable) {
    kind = FaultKind::LibraryUnavailable;
  } else if (block.header.storedFlag()) {
    kind = FaultKind::StoredOverflow;
  }
  Fault fault = makeFault(kind, block.offset, block.number);
  fault.found = block.header.length();
  fault.expected = freeSpace;
  fault.libraryCode = expansion.libraryCode;
  return fault;
}

}  // namespace qnvtab
