#include "decompress/ucl_library.h"

#include <ucl/ucl.h>

#include <atomic>
#include <mutex>

namespace qnvtab {
namespace {

// Set once the library has been initialised; never cleared.
std::atomic<bool> libraryReady{false};

}  // namespace

UclResult initialiseUcl() {
  UclResult result;
  result.status = UclServiceResult::Success;
  if (libraryReady.load(std::memory_order_acquire)) return result;
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  if (libraryReady.load(std::memory_order_relaxed)) return result;
  // ucl_init() hands the library the interface version and type sizes this
  // program was compiled with; the library checks them against its own. A
  // failure leaves the library uninitialised, so a later call tries again.
  result.libraryCode = ucl_init();
  if (result.libraryCode != UCL_E_OK) {
    result.status = UclServiceResult::InitError;
    return result;
  }
  libraryReady.store(true, std::memory_order_release);
  return result;
}

UclResult decompressNrv2b(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  if (!libraryReady.load(std::memory_order_acquire)) return {};
  ucl_uint produced = static_cast<ucl_uint>(destination.size());
  const int code = ucl_nrv2b_decompress_safe_8(source.data(), static_cast<ucl_uint>(source.size()),
                                               destination.data(), &produced, nullptr);
  UclResult result;
  result.libraryCode = code;
  result.produced = static_cast<uint32_t>(produced);
  result.status = code == UCL_E_OK ? UclServiceResult::Success : UclServiceResult::DecompressError;
  return result;
}

}  // namespace qnvtab
