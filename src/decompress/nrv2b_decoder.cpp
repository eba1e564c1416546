#include "decompress/nrv2b_decoder.h"

#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace qnvtab {
namespace {

// The library's limits, in its own terms: the largest offset code before
// its low byte is read, the offset that ends the stream, and the offset
// from which every match is one byte longer.
constexpr uint32_t kLargestOffsetCode = 0xffffff + 3;
constexpr uint32_t kEndOfStream = 0xffffffff;
constexpr uint32_t kLongMatchOffset = 0xd00;

// The first bits of the four two-bit pairs of a byte, as four bits.
constexpr std::array<uint8_t, 256> makePairHeads() {
  std::array<uint8_t, 256> heads{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    heads[byte] =
        static_cast<uint8_t>((byte >> 4 & 8) | (byte >> 3 & 4) | (byte >> 2 & 2) | (byte >> 1 & 1));
  }
  return heads;
}
constexpr std::array<uint8_t, 256> kPairHeads = makePairHeads();

}  // namespace

// Every check of the library's safe decoder is made at the same point of
// the stream, and some more: a stream that passes them all passes the
// library's.
std::optional<uint32_t> decodeNrv2b(std::span<const uint8_t> source,
                                    std::span<uint8_t> destination) {
  // The library counts in 32 bits: with less than 2 GiB of room, no length
  // it takes can wrap around.
  constexpr size_t kLargestSize = std::numeric_limits<int32_t>::max();
  if (source.size() > kLargestSize || destination.size() > kLargestSize) return std::nullopt;
  const uint8_t* const input = source.data();
  const size_t inputSize = source.size();
  uint8_t* const output = destination.data();
  const size_t outputSize = destination.size();
  size_t in = 0;
  size_t out = 0;
  uint32_t lastOffset = 1;
  // The flag bits of the last flag byte not taken yet, the next one at bit
  // 31 and zeros below the last.
  uint32_t flags = 0;
  unsigned flagCount = 0;

  // Past the end of the input the library reads beyond it, and such a
  // stream can no longer end well: flags of zero and a position past the
  // end make the next check of the position fail, without a read.
  const auto loadFlags = [&]() __attribute__((always_inline)) {
    flags = in < inputSize ? uint32_t{input[in]} << 24 : 0;
    ++in;
    flagCount = 8;
  };
  const auto nextFlag = [&]() __attribute__((always_inline)) {
    if (flagCount == 0) loadFlags();
    const uint32_t flag = flags >> 31;
    flags <<= 1;
    --flagCount;
    return flag;
  };
  // Numbers are coded in pairs of flags, a bit of the number and whether it
  // is the last: a code of up to eight pairs that lies in the flags left and
  // the next two bytes is read at once. Those bytes are flag bytes, as the
  // code reaches them: no other byte is read inside a code. With a third
  // byte behind them, every check of the position inside the code passes.
  const auto readShortNumber = [&](uint32_t & number) __attribute__((always_inline)) {
    if (in + 3 > inputSize) return false;
    const uint64_t window = uint64_t{flags} << 32 | uint64_t{input[in]} << (56 - flagCount) |
                            uint64_t{input[in + 1]} << (48 - flagCount);
    const uint64_t lasts = window & 0x5555555555555555;
    if (lasts == 0) return false;
    const unsigned pairs = (static_cast<unsigned>(std::countl_zero(lasts)) + 1) / 2;
    if (pairs > 8) return false;
    const unsigned heads = kPairHeads[window >> 56] << 4 | kPairHeads[window >> 48 & 0xFF];
    number = 1u << pairs | heads >> (8 - pairs);
    const unsigned used = 2 * pairs;
    if (used <= flagCount) {
      flags <<= used;
      flagCount -= used;
      return true;
    }
    const unsigned fromBytes = used - flagCount;
    const unsigned bytes = (fromBytes + 7) / 8;
    in += bytes;
    const unsigned usedOfLast = fromBytes - 8 * (bytes - 1);
    flags = uint32_t{input[in - 1]} << 24 << usedOfLast;
    flagCount = 8 - usedOfLast;
    return true;
  };

  for (;;) {
    // Literals: every set flag bit left in the byte is one more, and they
    // follow each other in the input.
    for (;;) {
      if (flagCount == 0) loadFlags();
      const unsigned run = static_cast<unsigned>(std::countl_one(flags));
      if (run > 0) {
        if (run > inputSize - in || run > outputSize - out) return std::nullopt;
        if (inputSize - in >= 8 && outputSize - out >= 8) {
          std::memcpy(output + out, input + in, 8);
        } else {
          std::memcpy(output + out, input + in, run);
        }
        in += run;
        out += run;
        flags <<= run;
        flagCount -= run;
      }
      if (flagCount > 0) break;
    }
    flags <<= 1;  // the clear flag that ends the literals
    --flagCount;

    uint32_t offset = 1;
    if (!readShortNumber(offset)) {
      do {
        offset = offset * 2 + nextFlag();
        if (in >= inputSize || offset > kLargestOffsetCode) return std::nullopt;
      } while (nextFlag() == 0);
    }
    if (offset == 2) {
      offset = lastOffset;
    } else {
      if (in >= inputSize) return std::nullopt;
      offset = (offset - 3) * 256 + input[in++];
      if (offset == kEndOfStream) break;
      lastOffset = ++offset;
    }

    uint32_t length;
    if (flagCount >= 2) {
      length = flags >> 30;
      flags <<= 2;
      flagCount -= 2;
    } else {
      length = nextFlag();
      length = length * 2 + nextFlag();
    }
    if (length == 0) {
      length = 1;
      if (readShortNumber(length)) {
        // Lengths only grow: the last one within bounds means all were.
        if (length >= outputSize) return std::nullopt;
      } else {
        do {
          length = length * 2 + nextFlag();
          if (in >= inputSize || length >= outputSize) return std::nullopt;
        } while (nextFlag() == 0);
      }
      length += 2;
    }
    length += offset > kLongMatchOffset ? 1 : 0;
    // A match copies one byte more than its length.
    const size_t count = size_t{length} + 1;
    if (count > outputSize - out || offset > out) return std::nullopt;
    uint8_t* const to = output + out;
    const uint8_t* const from = to - offset;
    if (offset >= 8 && outputSize - out >= count + 7) {
      // Each eight bytes read lie wholly before the eight they become.
      for (size_t i = 0; i < count; i += 8) std::memcpy(to + i, from + i, 8);
    } else {
      for (size_t i = 0; i < count; ++i) to[i] = from[i];
    }
    out += count;
  }
  if (in != inputSize) return std::nullopt;
  return static_cast<uint32_t>(out);
}

}  // namespace qnvtab
