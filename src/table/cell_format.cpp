#include "table/cell_format.h"

#include <array>
#include <charconv>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace qnvtab {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Two upper-case hexadecimal digits for every byte value.
using HexPairs = std::array<std::array<char, 2>, 256>;

constexpr HexPairs makeHexPairs() {
  HexPairs pairs{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    pairs[byte] = {kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
  }
  return pairs;
}

constexpr HexPairs kHexPairs = makeHexPairs();

// One byte of a dump with the separator that follows it. Entries are copied
// whole (four bytes) and the cursor advances by `size`.
struct DumpEntry {
  char text[4];
  uint8_t size;
};
using DumpTable = std::array<DumpEntry, 256>;

constexpr DumpTable makeDumpTable(PayloadMode mode) {
  DumpTable table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    DumpEntry entry{{' ', ' ', ' ', ' '}, 0};
    const char c = static_cast<char>(byte);
    const std::array<char, 2>& hex = kHexPairs[byte];
    const bool printable = isPrintable(static_cast<uint8_t>(byte));
    if (mode == PayloadMode::Hex || (!printable && mode == PayloadMode::Ascii)) {
      entry = {{hex[0], hex[1], ' ', ' '}, 3};
    } else if (mode == PayloadMode::Ascii) {
      entry = byte == '"' ? DumpEntry{{' ', '"', '"', ' '}, 4} : DumpEntry{{' ', c, ' ', ' '}, 3};
    } else if (!printable) {
      entry = {{'.', ' ', ' ', ' '}, 2};
    } else {
      entry = byte == '"' ? DumpEntry{{'"', '"', ' ', ' '}, 3} : DumpEntry{{c, ' ', ' ', ' '}, 2};
    }
    table[byte] = entry;
  }
  return table;
}

constexpr std::array<DumpTable, 3> kDumpTables = {makeDumpTable(PayloadMode::Hex),
                                                  makeDumpTable(PayloadMode::Ascii),
                                                  makeDumpTable(PayloadMode::Characters)};

// Dumps `count` bytes whose entries are all `kStride` wide, two per step:
// with fixed offsets no store waits on the size of the entry before it.
template <size_t kStride>
char* dumpAtStride(char* out, const uint8_t* bytes, uint32_t count, const DumpTable& table) {
  uint32_t i = 0;
  for (; i + 2 <= count; i += 2) {
    std::memcpy(out, table[bytes[i]].text, 4);
    std::memcpy(out + kStride, table[bytes[i + 1]].text, 4);
    out += 2 * kStride;
  }
  if (i < count) {
    std::memcpy(out, table[bytes[i]].text, 4);
    out += kStride;
  }
  return out;
}

#if defined(__x86_64__)
// Sixteen bytes at a time, with the same text as the tables give.

// Where the 48 characters of a hexadecimal dump of sixteen bytes come from:
// for each of three stores, the position in the first or in the second
// sixteen digits (-1: none), and a space after every two digits.
struct HexDumpShuffles {
  alignas(16) int8_t first[3][16];
  alignas(16) int8_t second[3][16];
  alignas(16) char spaces[3][16];
};

constexpr HexDumpShuffles makeHexDumpShuffles() {
  HexDumpShuffles shuffles{};
  for (int k = 0; k < 48; ++k) {
    const int store = k / 16;
    const int lane = k % 16;
    const int digit = 2 * (k / 3) + k % 3;
    const bool space = k % 3 == 2;
    shuffles.first[store][lane] = static_cast<int8_t>(!space && digit < 16 ? digit : -1);
    shuffles.second[store][lane] = static_cast<int8_t>(!space && digit >= 16 ? digit - 16 : -1);
    shuffles.spaces[store][lane] = space ? ' ' : '\0';
  }
  return shuffles;
}

constexpr HexDumpShuffles kHexDumpShuffles = makeHexDumpShuffles();

__attribute__((target("ssse3"))) char* dumpHexBy16(char* out, const uint8_t* bytes,
                                                   uint32_t count) {
  const __m128i digits =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m128i lowNibble = _mm_set1_epi8(0x0F);
  const auto load = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
  for (uint32_t i = 0; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), lowNibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(v, lowNibble));
    const __m128i first = _mm_unpacklo_epi8(high, low);
    const __m128i second = _mm_unpackhi_epi8(high, low);
    for (int store = 0; store < 3; ++store) {
      const __m128i text =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, load(kHexDumpShuffles.first[store])),
                                    _mm_shuffle_epi8(second, load(kHexDumpShuffles.second[store]))),
                       load(kHexDumpShuffles.spaces[store]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * store), text);
    }
    out += 48;
  }
  return out;
}

// The character column, for bytes without a quote among them: each byte
// or a dot, then a space.
char* dumpCharactersBy16(char* out, const uint8_t* bytes, uint32_t count) {
  const __m128i dot = _mm_set1_epi8('.');
  const __m128i space = _mm_set1_epi8(' ');
  // Signed compares: 32..126 are the bytes above 31 and below 127.
  const __m128i below = _mm_set1_epi8(31);
  const __m128i above = _mm_set1_epi8(127);
  for (uint32_t i = 0; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
    const __m128i shown =
        _mm_or_si128(_mm_and_si128(printable, v), _mm_andnot_si128(printable, dot));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(shown, space));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(shown, space));
    out += 32;
  }
  return out;
}

bool hasSsse3() {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported;
}
#endif

// The whole quoted Cmd cell of every code: always four characters.
using CommandCells = std::array<std::array<char, 4>, 256>;

CommandCells makeCommandCells() {
  CommandCells cells{};
  for (unsigned code = 0; code < 256; ++code) {
    const char* mnemonic = commandMnemonic(code);
    const char* text = mnemonic != nullptr ? mnemonic : kHexPairs[code].data();
    cells[code] = {'"', text[0], text[1], '"'};
  }
  return cells;
}

const CommandCells kCommandCells = makeCommandCells();

// The low `bytes` bytes of `value` as 2 * `bytes` digits, most significant
// first.
char* writeHexBytes(char* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    std::memcpy(out + 2 * i, kHexPairs[value & 0xFF].data(), 2);
    value >>= 8;
  }
  return out + 2 * bytes;
}

template <typename Integer>
char* writeInteger(char* out, Integer value) {
  // Callers reserve the largest width of the type.
  return std::to_chars(out, out + 16, value).ptr;
}

}  // namespace

char* writeHex8(char* out, uint32_t value) {
  out[0] = '"';
  out[1] = 'x';
  out = writeHexBytes(out + 2, value, 1);
  *out = '"';
  return out + 1;
}

char* writeHex16(char* out, uint32_t value) {
  out[0] = '"';
  out[1] = 'x';
  out = writeHexBytes(out + 2, value, 2);
  *out = '"';
  return out + 1;
}

char* writeEventNumber(char* out, int32_t number) { return writeInteger(out, number); }

char* writeMilliseconds(char* out, int32_t time) { return writeInteger(out, time); }

char* writeDecimal16(char* out, uint32_t value) {
  return writeInteger(out, static_cast<uint16_t>(value));
}

char* writeLength(char* out, uint16_t value) { return writeInteger(out, value); }

char* writeAddress(char* out, uint32_t value) {
  *out = 'x';
  return writeHexBytes(out + 1, value, 4);
}

char* writeCommand(char* out, uint32_t code) {
  std::memcpy(out, kCommandCells[code & 0xFF].data(), 4);
  return out + 4;
}

char* writeIpLetter(char* out, uint32_t rc) {
  out[0] = '"';
  out[1] = (rc & 0xFF) == 0xFF ? 'I' : 'P';
  out[2] = '"';
  return out + 3;
}

char* writePayload(char* out, const uint8_t* bytes, uint32_t length, uint32_t contentLength,
                   PayloadMode mode) {
  const uint32_t shown = length < contentLength ? length : contentLength;
  const DumpTable& table = kDumpTables[static_cast<int>(mode)];
  *out++ = '"';
  // Only a doubled quote is wider than its mode's other entries; without
  // one the dump runs at a fixed stride.
  if (mode == PayloadMode::Hex) {
    uint32_t done = 0;
#if defined(__x86_64__)
    if (hasSsse3()) {
      done = shown & ~15u;
      out = dumpHexBy16(out, bytes, done);
    }
#endif
    out = dumpAtStride<3>(out, bytes + done, shown - done, table);
  } else if (std::memchr(bytes, '"', shown) == nullptr) {
    if (mode == PayloadMode::Ascii) {
      out = dumpAtStride<3>(out, bytes, shown, table);
    } else {
      uint32_t done = 0;
#if defined(__x86_64__)
      done = shown & ~15u;
      out = dumpCharactersBy16(out, bytes, done);
#endif
      out = dumpAtStride<2>(out, bytes + done, shown - done, table);
    }
  } else {
    for (uint32_t i = 0; i < shown; ++i) {
      const DumpEntry& entry = table[bytes[i]];
      std::memcpy(out, entry.text, sizeof entry.text);
      out += entry.size;
    }
  }
  if (shown > 0) --out;  // the separator after the last byte
  if (shown < length) {
    std::memcpy(out, " ...", 4);
    out += 4;
  }
  *out++ = '"';
  return out;
}

}  // namespace qnvtab
