#include "decompress/ucl_service.h"

#include <ucl/ucl.h>

namespace qnvtab {

UclServiceResult UclService::initialise() {
  if (initialised_) return UclServiceResult::Success;
  ++initialisationCount_;
  // ucl_init() hands the library the interface version and type sizes this
  // program was compiled with; the library checks them against its own.
  const int result = ucl_init();
  if (result != UCL_E_OK) {
    lastLibraryResult_ = result;
    return UclServiceResult::InitError;
  }
  initialised_ = true;
  return UclServiceResult::Success;
}

UclServiceResult UclService::decompress(const uint8_t* source, uint32_t sourceLength,
                                        uint8_t* destination, uint32_t& destinationLength) {
  if (!initialised_) return UclServiceResult::NotInitialised;
  ucl_uint produced = destinationLength;
  const int result =
      ucl_nrv2b_decompress_safe_8(source, sourceLength, destination, &produced, nullptr);
  destinationLength = static_cast<uint32_t>(produced);
  if (result != UCL_E_OK) {
    lastLibraryResult_ = result;
    return UclServiceResult::DecompressError;
  }
  return UclServiceResult::Success;
}

UclService& processUclService() {
  static UclService service;
  return service;
}

}  // namespace qnvtab
