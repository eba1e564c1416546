// Traces as they travel: a whole file compressed with gzip, zstd or xz,
// told apart by its magic bytes and decoded as one stream, gzip members
// and zstd frames one after another. The decoder says where damage lies
// in the compressed bytes and what the library makes of it, and stops
// there, or reads on from the next gzip member or zstd frame.
#ifndef QNVTAB_DECOMPRESS_STREAM_DECODER_H_
#define QNVTAB_DECOMPRESS_STREAM_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  // Where a later gzip member or zstd frame began, from which decoding
  // went on; none: nothing after the damage was decoded.
  std::optional<uint64_t> readOnAt;
};

struct DecodedStream {
  uint64_t compressedBytes = 0;
  uint64_t decodedBytes = 0;
  uint32_t members = 0;  // gzip members or zstd frames begun; xz streams are not told apart
  std::vector<StreamDamage> damages;  // in stream order
  int readError = 0;  // errno of a failed read
  bool writeFailed = false;
  bool outOfMemory = false;  // the library's state could not be made
};

// Whether decoding stops at damage or reads on past it.
enum class AtDamage { Stop, ReadOn };

// Decodes everything `input` holds into `output`. With AtDamage::ReadOn,
// the gzip member or zstd frame that next begins after damage is decoded
// on, its bytes after those before the damage: what lay between is lost.
DecodedStream decodeStream(Compression compression, CompressedInput& input, DecodedOutput& output,
                           AtDamage atDamage);

// "compressed data damaged at compressed byte 81234567 (invalid distance
// too far back)", or "compressed data ends early at compressed byte N";
// after a read on, ": compressed bytes 81234567-81300999 skipped (66433
// bytes), read on from the next gzip member at compressed byte 81301000".
std::string describeDamage(const StreamDamage& damage, Compression compression);

}  // namespace qnvtab

#endif  // QNVTAB_DECOMPRESS_STREAM_DECODER_H_
