// CRC-16/X.25 (reflected polynomial 0x8408, preset 0xFFFF, complemented
// result), the checksum of trace headers, footers and block payloads.
#ifndef QNVTAB_TRACE_CRC16_H_
#define QNVTAB_TRACE_CRC16_H_

#include <cstddef>
#include <cstdint>

namespace qnvtab {

class Crc16 {
 public:
  // The register after an update with a record followed by its own correct
  // little-endian checksum.
  static constexpr uint16_t kGoodResidue = 0xF0B8;

  void update(const uint8_t* data, size_t length);

  // The checksum as stored in a record: the complement of the register.
  uint16_t value() const { return static_cast<uint16_t>(~register_); }
  bool goodResidue() const { return register_ == kGoodResidue; }

 private:
  uint16_t register_ = 0xFFFF;
};

// The checksum of a whole buffer, from a fresh register.
uint16_t crc16(const uint8_t* data, size_t length);

// True when a record whose last two bytes are its checksum is intact.
bool hasGoodResidue(const uint8_t* record, size_t length);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_CRC16_H_
