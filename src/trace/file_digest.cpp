#include "trace/file_digest.h"

#include <nettle/sha2.h>

#include <cstdint>
#include <memory>

namespace qnvtab {

FileDigest sha256Of(ByteSource& source) {
  constexpr size_t kChunk = size_t{1} << 18;
  const auto chunk = std::make_unique<uint8_t[]>(kChunk);
  sha256_ctx context;
  sha256_init(&context);
  FileDigest digest;
  for (uint64_t offset = 0;;) {
    const SourceRead read = source.readAt(offset, chunk.get(), kChunk);
    if (read.error != 0) {
      digest.error = read.error;
      return digest;
    }
    sha256_update(&context, read.bytes, chunk.get());
    offset += read.bytes;
    if (read.bytes < kChunk) break;
  }
  uint8_t bytes[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof bytes, bytes);
  static constexpr char kDigits[] = "0123456789abcdef";
  for (const uint8_t byte : bytes) {
    digest.sha256 += kDigits[byte >> 4];
    digest.sha256 += kDigits[byte & 15];
  }
  return digest;
}

}  // namespace qnvtab
