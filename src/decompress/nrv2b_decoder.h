// A fast decoder of NRV2B streams (8-bit bit buffer) for the common case:
// a sound stream. It takes the same decisions as the library's safe
// decoder, bit for bit, but copies runs of literals and matches several
// bytes at a time. It never tells why a stream fails: the library does
// that, so every fault keeps the library's own code.
#ifndef QNVTAB_DECOMPRESS_NRV2B_DECODER_H_
#define QNVTAB_DECOMPRESS_NRV2B_DECODER_H_

#include <cstdint>
#include <optional>
#include <span>

namespace qnvtab {

// The number of bytes decoded into the front of `destination` when the
// library would accept `source` with that room and produce the same bytes.
// Nothing otherwise, also for some streams that the library accepts: the
// caller then asks the library. Never reads past `source` nor writes past
// `destination`; bytes of `destination` behind the decoded ones may change.
std::optional<uint32_t> decodeNrv2b(std::span<const uint8_t> source,
                                    std::span<uint8_t> destination);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_NRV2B_DECODER_H_
