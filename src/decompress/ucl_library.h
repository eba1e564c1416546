// The UCL library: initialised once per process, safely from any thread,
// and its NRV2B decompressor, whose every call returns its own result and
// library code; nothing is kept from one call to the next.
#ifndef QNVTAB_DECOMPRESS_UCL_LIBRARY_H_
#define QNVTAB_DECOMPRESS_UCL_LIBRARY_H_

#include <cstdint>
#include <span>

namespace qnvtab {

// Success is 1, not 0.
enum class UclServiceResult : int {
  NotInitialised = 0,
  Success = 1,
  InitError = 2,
  DecompressError = 4,
};

struct UclResult {
  UclServiceResult status = UclServiceResult::NotInitialised;
  int32_t libraryCode = 0;  // the library's own code, 0 (UCL_E_OK) on success
  uint32_t produced = 0;    // bytes written by a decompression
};

// Initialises the library once per process; calls after a success return
// at once, a failed one is tried again by the next call.
UclResult initialiseUcl();

// Decompresses one NRV2B stream (8-bit bit buffer) into `destination`,
// never writing past its end; no work memory is used. Before a successful
// initialiseUcl() it returns NotInitialised and does nothing.
UclResult decompressNrv2b(std::span<const uint8_t> source, std::span<uint8_t> destination);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_UCL_LIBRARY_H_
