// Traces as they travel: a whole file compressed with gzip, zstd or xz,
// told apart by its magic bytes and decoded as one stream, gzip members
// and zstd frames one after another. The decoder stops at the first damage
// and says where it lies in the compressed bytes and what the library
// makes of it.
#ifndef QNVTAB_DECOMPRESS_STREAM_DECODER_H_
#define QNVTAB_DECOMPRESS_STREAM_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qnvtab {

enum class Compression { None, Gzip, Zstd, Xz };

// The compression whose magic bytes begin the `size` bytes at `head`.
Compression compressionOf(const uint8_t* head, size_t size);
const char* compressionName(Compression compression);  // "gzip", "zstd", "xz"

// Where the compressed bytes came from.
class CompressedInput {
 public:
  virtual ~CompressedInput() = default;
  // Up to `size` bytes; 0 at the end; -1 with errno on a failure.
  virtual long read(uint8_t* destination, size_t size) = 0;
};
// Where the decoded bytes go.
class DecodedOutput {
 public:
  virtual ~DecodedOutput() = default;
  virtual bool write(const uint8_t* data, size_t size) = 0;
};

struct StreamDamage {
  uint64_t offset = 0;     // compressed bytes read before the damage
  bool endsEarly = false;  // the compressed bytes ran out inside a member
  std::string reason;      // the library's, when it gives one
};

struct DecodedStream {
  uint64_t compressedBytes = 0;
  uint64_t decodedBytes = 0;
  uint32_t members = 0;  // gzip members or zstd frames begun; xz streams are not told apart
  std::optional<StreamDamage> damage;
  int readError = 0;  // errno of a failed read
  bool writeFailed = false;
  bool outOfMemory = false;  // the library's state could not be made
};

// Decodes everything `input` holds into `output`.
DecodedStream decodeStream(Compression compression, CompressedInput& input, DecodedOutput& output);

// "compressed data damaged at compressed byte 81234567 (invalid distance
// too far back)", or "compressed data ends early at compressed byte N".
std::string describeDamage(const StreamDamage& damage);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_STREAM_DECODER_H_
