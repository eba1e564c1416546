// Differential fuzz target of the fast NRV2B decoder against the library.
// The input is the data to compress, after a byte of room to add or take
// and a byte that counts the byte changes that follow it (offset, low and
// high byte, then the value to XOR), so that most streams are near-sound
// ones. Whenever the fast decoder takes a stream, the library must accept
// it too and give the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "decompress/nrv2b_decoder.h"
#include "decompress/ucl_library.h"
#include "writer/trace_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnvtab;
  if (size < 2) return 0;
  const int roomChange = static_cast<int8_t>(data[0]);
  size_t changes = data[1];
  data += 2;
  size -= 2;
  if (size < changes * 3) return 0;
  const uint8_t* const edits = data;
  data += changes * 3;
  size -= changes * 3;

  std::vector<uint8_t> stream = builder::compressNrv2b(data, size, 1);
  for (size_t i = 0; i < changes && !stream.empty(); ++i) {
    const uint8_t* const edit = edits + 3 * i;
    stream[(edit[0] | size_t{edit[1]} << 8) % stream.size()] ^= edit[2];
  }
  const size_t room =
      roomChange < 0 && static_cast<size_t>(-roomChange) > size ? 0 : size + roomChange;
  std::vector<uint8_t> fast(room);
  const std::optional<uint32_t> produced = decodeNrv2b(stream, fast);
  if (!produced) return 0;
  if (initialiseUcl().status != UclServiceResult::Success) std::abort();
  std::vector<uint8_t> library(room);
  const UclResult result = decompressNrv2b(stream, library);
  if (result.status != UclServiceResult::Success || result.produced != *produced ||
      !std::equal(fast.begin(), fast.begin() + *produced, library.begin())) {
    std::abort();
  }
  return 0;
}
