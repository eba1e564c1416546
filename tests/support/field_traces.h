// Traces built like those from the field, for the salvage tests: a
// different amount of event bytes in every block, block sizes from 256
// bytes to 32 KiB, stored, compressed and mixed blocks, unknown command
// codes, repeated stamps and jumps, data that holds whole records. And damaged copies of them, with
// what salvage can and cannot get back from each. The same seed gives the same trace and the same
// damage everywhere.
#ifndef QNVTAB_TESTS_SUPPORT_FIELD_TRACES_H_
#define QNVTAB_TESTS_SUPPORT_FIELD_TRACES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab::field {

using builder::Bytes;

// SplitMix64, as in the event mix: the standard distributions differ
// between libraries.
struct Random {
  uint64_t state;
  uint64_t next();
  uint32_t below(uint32_t bound);           // 0 to bound - 1
  size_t between(size_t low, size_t high);  // low to high, both included
  bool percent(uint32_t chance) { return below(100) < chance; }
};

enum class BlockModes { Stored, Compressed, Mixed };
const char* modeName(BlockModes mode);

struct FieldBlock {
  size_t offset = 0;       // of its block header in the file
  size_t size = 0;         // 6 + length
  size_t streamBegin = 0;  // the event-stream bytes it holds
  size_t streamEnd = 0;
};

struct FieldTrace {
  uint64_t seed = 0;
  unsigned version = 8;
  uint16_t blockSize = 0;
  BlockModes mode = BlockModes::Stored;
  bool recordsInData = false;  // 3% of its events carry whole records in their data
  Bytes bytes;
  size_t headerSize = 0;
  size_t footerOffset = 0;
  std::vector<FieldBlock> blocks;
  std::vector<size_t> eventStarts;  // in the stream, and the stream's end last
  size_t events() const { return eventStarts.size() - 1; }
};

FieldTrace makeFieldTrace(uint64_t seed);

// The Buffer Address cell of the records carried in events' data, which no
// event of a field trace has: a row with it is one of those records.
constexpr const char* kCarriedRecordAddress = "xDA7A0000";

enum class Damage {
  Cut,
  Flip,
  ThreeFlips,
  ZeroedPage,
  Inserted,
  Deleted,
  BlockLength,
  Footer,
  HeaderChecksum,
  Garbage,
  FlipAndCut,
  FirstBlock,
};
constexpr size_t kDamageKinds = 12;
const char* damageName(Damage damage);

struct DamagedTrace {
  Bytes bytes;
  std::vector<bool> survivingBlocks;  // whole and unchanged, possibly moved
  std::vector<bool> recoverable;      // per event: all its bytes in surviving blocks
  bool headerChanged = false;         // its binary fields, not only its checksum
  int expectedStatus = 0;             // 0 intact, 3 damage at the end only, 4 other damage
};

DamagedTrace damageTrace(const FieldTrace& trace, Damage damage, uint64_t seed);

}  // namespace qnvtab::field

#endif  // QNVTAB_TESTS_SUPPORT_FIELD_TRACES_H_
