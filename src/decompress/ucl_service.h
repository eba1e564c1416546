// A small process-wide service around the UCL library: initialises it once
// and runs its safe NRV2B decompressor.
#ifndef QNVTAB_DECOMPRESS_UCL_SERVICE_H_
#define QNVTAB_DECOMPRESS_UCL_SERVICE_H_

#include <cstdint>

namespace qnvtab {

// Success is 1, not 0.
enum class UclServiceResult : int {
  NotInitialised = 0,
  Success = 1,
  InitError = 2,
  DecompressError = 4,
};

class UclService {
 public:
  // Initialises the library on the first call; later calls return Success
  // at once. A failed initialisation leaves the service uninitialised.
  UclServiceResult initialise();

  // Decompresses one NRV2B stream (8-bit bit buffer) of `sourceLength`
  // bytes into `destination`. `destinationLength` is the room on entry and
  // the number of bytes produced on return. The library checks its work
  // against both lengths; no work memory is used.
  UclServiceResult decompress(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                              uint32_t& destinationLength);

  bool initialised() const { return initialised_; }
  // How often the library's initialisation has run on this service.
  int initialisationCount() const { return initialisationCount_; }
  // The library's code from the most recent failed call; 0 until one fails.
  int32_t lastLibraryResult() const { return lastLibraryResult_; }

 private:
  bool initialised_ = false;
  int initialisationCount_ = 0;
  int32_t lastLibraryResult_ = 0;
};

// The one service of this process.
UclService& processUclService();

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_UCL_SERVICE_H_
