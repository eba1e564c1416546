#include "decompress/nrv2b_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decompress/ucl_library.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;

// Data that gives the decoder every kind of step: random bytes (literal
// runs), text (short matches), one repeated byte (offset 1), and a block
// that repeats far behind itself (offsets beyond the long-match bound).
Bytes sampleData(int kind, size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) {
    switch (kind) {
      case 0:
        data[i] = static_cast<uint8_t>(random());
        break;
      case 1:
        data[i] = static_cast<uint8_t>("QNV trace \"ok\"\x01\x02"[random() % 16]);
        break;
      case 2:
        data[i] = random() % 64 == 0 ? static_cast<uint8_t>(random()) : 'A';
        break;
      default:
        data[i] = i < 4000 ? static_cast<uint8_t>(random()) : data[i - 4000 + random() % 3];
        break;
    }
  }
  return data;
}

// Decodes `stream` with `room` bytes of room, in buffers of exactly that
// size so that AddressSanitizer sees any stray access, and checks that a
// decoded stream is one that the library accepts with the same bytes.
// Returns whether the decoder took it.
bool decodesAsTheLibrary(const Bytes& stream, size_t room) {
  const Bytes source(stream);
  Bytes fast(room, 0xEE);
  const std::optional<uint32_t> produced = decodeNrv2b(source, fast);
  if (!produced) return false;
  Bytes library(room, 0xEE);
  const UclResult result = decompressNrv2b(source, library);
  EXPECT_EQ(result.status, UclServiceResult::Success) << "room " << room;
  EXPECT_EQ(result.produced, *produced) << "room " << room;
  EXPECT_TRUE(std::equal(fast.begin(), fast.begin() + *produced, library.begin()))
      << "room " << room;
  return true;
}

TEST(Nrv2bDecoder, DecodesSoundStreamsAsTheLibraryAndNothingElse) {
  ASSERT_EQ(initialiseUcl().status, UclServiceResult::Success);
  std::mt19937 random(14);
  size_t mutantsDecoded = 0;
  for (int kind = 0; kind < 4; ++kind) {
    for (const size_t size : {size_t{1}, size_t{7}, size_t{300}, size_t{9000}, size_t{40000}}) {
      for (const int level : {1, 10}) {
        const Bytes data = sampleData(kind, size, static_cast<unsigned>(kind * 131 + size));
        const Bytes stream = builder::compressNrv2b(data.data(), data.size(), level);
        SCOPED_TRACE(testing::Message()
                     << "kind " << kind << ", size " << size << ", level " << level);
        // Sound: taken whenever eight bytes of slack are left, bounded by
        // the room down to the last byte.
        EXPECT_TRUE(decodesAsTheLibrary(stream, size + 8));
        for (const size_t room : {size + 100, size, size - 1, size / 2})
          decodesAsTheLibrary(stream, room);
        // Damaged: a flipped bit, a cut, a changed byte anywhere, and bytes
        // behind the end of the stream.
        for (int trial = 0; trial < 200; ++trial) {
          Bytes mutant = stream;
          const size_t at = random() % mutant.size();
          switch (trial % 4) {
            case 0:
              mutant[at] ^= static_cast<uint8_t>(1u << (random() % 8));
              break;
            case 1:
              mutant.resize(at);
              break;
            case 2:
              mutant[at] = static_cast<uint8_t>(random());
              break;
            default:
              mutant.push_back(static_cast<uint8_t>(random()));
              break;
          }
          mutantsDecoded += decodesAsTheLibrary(mutant, size + 8 + random() % 64) ? 1 : 0;
        }
      }
    }
  }
  // Some damage still decodes (a flipped literal bit): those cases were compared too.
  EXPECT_GT(mutantsDecoded, 0u);
}

}  // namespace
}  // namespace qnvtab
