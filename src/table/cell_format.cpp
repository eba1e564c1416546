#include "table/cell_format.h"

#include <array>
#include <charconv>
#include <cstring>

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

constexpr std::array<DumpTable, 3> kDumpTables = {
    makeDumpTable(PayloadMode::Hex), makeDumpTable(PayloadMode::Ascii),
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
    out = dumpAtStride<3>(out, bytes, shown, table);
  } else if (std::memchr(bytes, '"', shown) == nullptr) {
    out = mode == PayloadMode::Ascii ? dumpAtStride<3>(out, bytes, shown, table)
                                     : dumpAtStride<2>(out, bytes, shown, table);
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
