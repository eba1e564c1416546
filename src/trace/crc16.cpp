#include "trace/crc16.h"

#include <array>

namespace qnvtab {
namespace {

constexpr uint16_t kPolynomial = 0x8408;  // 0x1021 bit-reflected

// Slicing-by-8 tables: tables[0] is the classic byte table; tables[k][i] is
// the register contribution of byte i followed by k zero bytes. Eight input
// bytes then cost eight independent lookups instead of a serial chain.
using SliceTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr SliceTables makeTables() {
  SliceTables tables{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ kPolynomial) : static_cast<uint16_t>(r >> 1);
    }
    tables[0][i] = r;
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const uint16_t previous = tables[k - 1][i];
      tables[k][i] = static_cast<uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
    }
  }
  return tables;
}

constexpr SliceTables kTables = makeTables();

}  // namespace

void Crc16::update(const uint8_t* data, size_t length) {
  uint16_t r = register_;
  while (length >= 8) {
    r ^= static_cast<uint16_t>(data[0] | (data[1] << 8));
    r = static_cast<uint16_t>(kTables[7][r & 0xFF] ^ kTables[6][r >> 8] ^ kTables[5][data[2]] ^
                              kTables[4][data[3]] ^ kTables[3][data[4]] ^ kTables[2][data[5]] ^
                              kTables[1][data[6]] ^ kTables[0][data[7]]);
    data += 8;
    length -= 8;
  }
  while (length-- > 0) {
    r = static_cast<uint16_t>(kTables[0][(r ^ *data++) & 0xFF] ^ (r >> 8));
  }
  register_ = r;
}

uint16_t crc16(const uint8_t* data, size_t length) {
  Crc16 crc;
  crc.update(data, length);
  return crc.value();
}

bool hasGoodResidue(const uint8_t* record, size_t length) {
  Crc16 crc;
  crc.update(record, length);
  return crc.goodResidue();
}

}  // namespace qnvtab
