#include "field_traces.h"

#include <algorithm>
#include <cmath>

#include "event_mix.h"
#include "events/command_names.h"
#include "trace/trace_format.h"

namespace qnvtab::field {

uint64_t Random::next() { return builder::splitMix64(state); }

uint32_t Random::below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

size_t Random::between(size_t low, size_t high) {
  return low + static_cast<size_t>(next() % (high - low + 1));
}

const char* modeName(BlockModes mode) {
  constexpr const char* kNames[] = {"stored", "compressed", "mixed"};
  return kNames[static_cast<size_t>(mode)];
}

const char* damageName(Damage damage) {
  constexpr const char* kNames[kDamageKinds] = {
      "cut",    "flip",   "3-flips",         "zeroed-page", "inserted", "deleted",
      "length", "footer", "header-checksum", "garbage",     "flip-cut", "first-block"};
  return kNames[static_cast<size_t>(damage)];
}

namespace {

builder::EventSpec fieldEvent(Random& random, unsigned version, size_t index, unsigned prefixes,
                              size_t largest) {
  builder::EventSpec event;
  event.prefix = static_cast<uint16_t>(prefixes == 0 ? 0 : prefixes == 1 ? index : random.next());
  if (random.percent(8)) {
    do {
      event.cmd = static_cast<uint8_t>(random.below(256));
    } while (commandMnemonic(event.cmd) != nullptr);
  } else {
    event.cmd = CommandNames[random.below(kCommandNameCount)].code;
  }
  const uint32_t rc = random.below(100);
  event.rc = rc < 92 ? 0x00 : rc < 97 ? 0xFF : static_cast<uint8_t>(random.between(1, 0xFE));
  event.poIn = static_cast<uint16_t>(random.below(16));
  event.poOut = static_cast<uint16_t>(random.below(16));
  event.lsnIn = static_cast<uint16_t>(random.below(version == 5 ? 256 : 65536));
  event.lsnOut = static_cast<uint16_t>(random.below(version == 5 ? 256 : 65536));
  event.info = static_cast<uint8_t>(random.below(256));
  event.bufferAddress = static_cast<uint32_t>(random.next());
  const uint32_t size = random.below(100);
  if (size >= 25) {
    event.data.resize(size < 28 ? random.between(std::min<size_t>(64, largest), largest)
                                : random.between(1, std::min<size_t>(63, largest)));
  }
  const bool text = random.percent(50);
  for (uint8_t& b : event.data)
    b = static_cast<uint8_t>(text ? 32 + random.below(95) : random.below(256));
  event.length = static_cast<uint16_t>(event.data.size());
  if (random.percent(10)) {
    event.length = event.data.empty() || random.percent(50)
                       ? static_cast<uint16_t>(event.length + random.between(1, 300))
                       : static_cast<uint16_t>(random.below(event.length));
  }
  return event;
}

// Data that holds whole records, as a trace read back over the link holds
// the records it read: a few short events stamped from `stamp` on.
Bytes recordsAsData(Random& random, unsigned version, uint32_t stamp, size_t largest) {
  Bytes data;
  for (size_t count = random.between(1, 16); count > 0; --count) {
    builder::EventSpec inner;
    inner.cmd = CommandNames[random.below(kCommandNameCount)].code;
    inner.poIn = static_cast<uint16_t>(random.below(16));
    inner.lsnIn = static_cast<uint16_t>(random.below(256));
    inner.timeStamp = stamp;
    inner.bufferAddress = 0xDA7A0000;
    stamp += random.below(3);
    inner.data.resize(random.below(17));
    for (uint8_t& b : inner.data) b = static_cast<uint8_t>(random.below(256));
    inner.length = static_cast<uint16_t>(inner.data.size());
    const Bytes record = builder::encodeEvent(inner, version);
    if (data.size() + record.size() > largest) break;
    data.insert(data.end(), record.begin(), record.end());
  }
  return data;
}

}  // namespace

FieldTrace makeFieldTrace(uint64_t seed) {
  Random random{seed};
  FieldTrace trace;
  trace.seed = seed;
  trace.version = 5 + random.below(4);
  trace.blockSize = static_cast<uint16_t>(
      std::lround(256 * std::exp2(7.0 * random.below((1u << 20) + 1) / (1u << 20))));
  trace.mode = static_cast<BlockModes>(random.below(3));
  // Drawn apart, so that the other traces stay as they were.
  Random inner{~seed};
  trace.recordsInData = seed % 4 == 0;

  builder::TraceSpec plan;
  plan.header.version = trace.version;
  plan.header.firstEventDate = {static_cast<unsigned>(random.between(1, 28)),
                                static_cast<unsigned>(random.between(1, 12)),
                                static_cast<unsigned>(random.between(2004, 2012))};
  plan.header.firstEventTime = {random.below(24), random.below(60), random.below(60)};
  plan.header.startDate = plan.header.firstEventDate;
  plan.header.firstEventStamp = static_cast<uint32_t>(random.between(0, 200000));
  plan.blockSize = trace.blockSize;
  // Speed over size: the tests compress every trace they make.
  plan.compressionLevel = 1;

  // Records never longer than a block, so that the intact trace converts.
  const size_t head = trace.version == 5 ? layout::kEventHead23.size : layout::kEventHead25.size;
  const size_t largest = std::min<size_t>(1024, trace.blockSize - head);
  const unsigned prefixes = random.below(3);  // zero, a running counter, or random
  const size_t events = random.between(300, 2500);
  Bytes stream;
  uint32_t stamp = plan.header.firstEventStamp;
  for (size_t i = 0; i < events; ++i) {
    builder::EventSpec event = fieldEvent(random, trace.version, i, prefixes, largest);
    const uint32_t step = random.below(100);
    if (i > 0 && step == 0) stamp += static_cast<uint32_t>(random.between(1000, 10000));
    if (i > 0 && step > 20) stamp += static_cast<uint32_t>(random.between(1, 12));
    event.timeStamp = stamp;
    if (trace.recordsInData && inner.percent(3)) {
      event.data = recordsAsData(inner, trace.version, stamp, largest);
      event.length = static_cast<uint16_t>(event.data.size());
    }
    trace.eventStarts.push_back(stream.size());
    const Bytes record = builder::encodeEvent(event, trace.version);
    stream.insert(stream.end(), record.begin(), record.end());
  }
  trace.eventStarts.push_back(stream.size());

  builder::TraceWriter writer(plan);
  for (size_t at = 0; at < stream.size();) {
    size_t chunk = random.percent(10) ? random.between(1, 30)
                                      : random.between(trace.blockSize * 6 / 10, trace.blockSize);
    chunk = std::min(chunk, stream.size() - at);
    const bool stored =
        trace.mode == BlockModes::Stored || (trace.mode == BlockModes::Mixed && random.percent(50));
    writer.appendBlock(Bytes(stream.begin() + static_cast<ptrdiff_t>(at),
                             stream.begin() + static_cast<ptrdiff_t>(at + chunk)),
                       stored);
    trace.blocks.push_back({0, 0, at, at + chunk});
    at += chunk;
  }
  builder::Trace written = writer.finish();
  trace.headerSize = written.headerSize;
  trace.footerOffset = written.footerOffset;
  for (size_t b = 0; b < trace.blocks.size(); ++b) {
    const size_t end =
        b + 1 < trace.blocks.size() ? written.blockOffsets[b + 1] : written.footerOffset;
    trace.blocks[b].offset = written.blockOffsets[b];
    trace.blocks[b].size = end - written.blockOffsets[b];
  }
  trace.bytes = std::move(written.bytes);
  return trace;
}

namespace {

// A copy being damaged, and where each original block is now while its
// bytes may still be whole.
struct Damaging {
  const FieldTrace& trace;
  Random random;
  Bytes bytes;
  std::vector<size_t> at;
  std::vector<bool> lost;
};

// Replaces [from, to) with `with`. A block it overlaps is judged by its
// bytes at the end, unless its start went.
void edit(Damaging& d, size_t from, size_t to, const Bytes& with) {
  for (size_t b = 0; b < d.at.size(); ++b) {
    if (d.lost[b] || d.at[b] + d.trace.blocks[b].size <= from) continue;
    if (d.at[b] >= to) {
      d.at[b] = d.at[b] + with.size() - (to - from);
    } else if (with.size() != to - from && d.at[b] >= from) {
      d.lost[b] = true;
    }
  }
  d.bytes.erase(d.bytes.begin() + static_cast<ptrdiff_t>(from),
                d.bytes.begin() + static_cast<ptrdiff_t>(to));
  d.bytes.insert(d.bytes.begin() + static_cast<ptrdiff_t>(from), with.begin(), with.end());
}

Bytes randomBytes(Random& random, size_t size) {
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random.below(256));
  return bytes;
}

// An offset in [low, high), often in the first two blocks: damage at the
// very start is the hardest to come back from.
size_t place(Damaging& d, size_t low, size_t high) {
  const size_t last = std::min<size_t>(1, d.at.size() - 1);
  const size_t first = std::max(low, d.at[0]);
  const size_t end = std::min(high, d.at[last] + d.trace.blocks[last].size);
  if (first < end && d.random.percent(35)) return d.random.between(first, end - 1);
  return d.random.between(low, high - 1);
}

size_t pickBlock(Damaging& d) {
  const size_t blocks = d.random.percent(35) ? std::min<size_t>(2, d.at.size()) : d.at.size();
  return d.random.below(static_cast<uint32_t>(blocks));
}

// One bit of [low, high), as byte * 8 + bit. Never the stored flag, bit
// 15 of a block's first word: no checksum covers it, so a block with it
// flipped may still pass every check.
size_t pickBit(Damaging& d, size_t low, size_t high) {
  for (;;) {
    const size_t byte = place(d, low, high);
    const unsigned bit = d.random.below(8);
    const bool flag =
        bit == 7 && std::any_of(d.trace.blocks.begin(), d.trace.blocks.end(),
                                [&](const FieldBlock& b) { return b.offset + 1 == byte; });
    if (!flag) return byte * 8 + bit;
  }
}

void flip(Damaging& d, size_t bit) {
  edit(d, bit / 8, bit / 8 + 1, {static_cast<uint8_t>(d.bytes[bit / 8] ^ (1u << bit % 8))});
}

void apply(Damaging& d, Damage damage) {
  const size_t size = d.bytes.size();
  const size_t header = d.trace.headerSize;
  switch (damage) {
    case Damage::Cut:
      edit(d, place(d, header, size), size, {});
      break;
    case Damage::Flip:
      flip(d, pickBit(d, 0, size));
      break;
    case Damage::ThreeFlips: {
      std::vector<size_t> bits;
      while (bits.size() < 3) {
        const size_t bit = pickBit(d, 0, size);
        if (std::find(bits.begin(), bits.end(), bit) == bits.end()) bits.push_back(bit);
      }
      for (size_t bit : bits) flip(d, bit);
      break;
    }
    case Damage::ZeroedPage: {
      // Not the first page: it holds the header, without which nothing is
      // left to know the trace by.
      const size_t page = place(d, std::min<size_t>(4096, size - 1), size) / 4096 * 4096;
      const size_t from = std::max(page, header);
      const size_t to = std::min(page + 4096, size);
      edit(d, from, to, Bytes(to - from, 0));
      break;
    }
    case Damage::Inserted: {
      const size_t at = place(d, header, size + 1);
      edit(d, at, at, randomBytes(d.random, d.random.between(1, 300)));
      break;
    }
    case Damage::Deleted: {
      const size_t from = place(d, header, size);
      edit(d, from, std::min(size, from + d.random.between(1, 300)), {});
      break;
    }
    case Damage::BlockLength: {
      const size_t at = d.at[pickBlock(d)] + layout::kBlockLengthOffset;
      const uint16_t length = loadU16(&d.bytes[at]);
      uint16_t other = length;
      while (other == length) {
        other = static_cast<uint16_t>(d.random.percent(50) ? length + d.random.between(1, 64) - 32
                                                           : d.random.below(65536));
      }
      edit(d, at, at + 2, {static_cast<uint8_t>(other), static_cast<uint8_t>(other >> 8)});
      break;
    }
    case Damage::Footer: {
      Bytes junk = randomBytes(d.random, layout::kFooterSize);
      junk[0] = static_cast<uint8_t>(~d.bytes[d.trace.footerOffset]);
      edit(d, d.trace.footerOffset, size, junk);
      break;
    }
    case Damage::HeaderChecksum: {
      const uint16_t checksum =
          static_cast<uint16_t>(loadU16(&d.bytes[header - 2]) ^ d.random.between(1, 0xFFFF));
      edit(d, header - 2, header,
           {static_cast<uint8_t>(checksum), static_cast<uint8_t>(checksum >> 8)});
      break;
    }
    case Damage::Garbage: {
      const size_t b = pickBlock(d);
      edit(d, d.at[b], d.at[b] + d.trace.blocks[b].size,
           randomBytes(d.random, d.random.between(1, 20000)));
      break;
    }
    case Damage::FlipAndCut: {
      const size_t bit = pickBit(d, 0, size);
      const size_t byte = bit / 8;
      flip(d, bit);
      edit(d, byte + 1 < size ? d.random.between(byte + 1, size - 1) : byte, size, {});
      break;
    }
    case Damage::FirstBlock:
      flip(d, pickBit(d, d.at[0] + layout::kBlockHeaderSize, d.at[0] + d.trace.blocks[0].size));
      break;
  }
}

// Whole and unchanged at `at`; its number alone may differ, which salvage
// repairs when the next block confirms it.
bool sameBlock(const Bytes& bytes, size_t at, const uint8_t* original, size_t size) {
  return at + size <= bytes.size() &&
         ((bytes[at + 1] ^ original[1]) & (layout::kStoredFlag >> 8)) == 0 &&
         std::equal(original + 2, original + size, bytes.begin() + static_cast<ptrdiff_t>(at + 2));
}

}  // namespace

DamagedTrace damageTrace(const FieldTrace& trace, Damage damage, uint64_t seed) {
  Damaging d{trace, Random{seed}, trace.bytes, {}, std::vector<bool>(trace.blocks.size())};
  for (const FieldBlock& block : trace.blocks) d.at.push_back(block.offset);
  apply(d, damage);

  DamagedTrace damaged;
  const Bytes& original = trace.bytes;
  const size_t same = static_cast<size_t>(
      std::mismatch(original.begin(), original.end(), d.bytes.begin(), d.bytes.end()).first -
      original.begin());
  bool survivorAfterDamage = false;
  for (size_t b = 0; b < trace.blocks.size(); ++b) {
    const FieldBlock& block = trace.blocks[b];
    const bool survives =
        !d.lost[b] && sameBlock(d.bytes, d.at[b], &original[block.offset], block.size);
    damaged.survivingBlocks.push_back(survives);
    survivorAfterDamage = survivorAfterDamage || (survives && d.at[b] + block.size > same);
  }
  size_t b = 0;
  for (size_t e = 0; e < trace.events(); ++e) {
    while (trace.blocks[b].streamEnd <= trace.eventStarts[e]) ++b;
    bool whole = true;
    for (size_t c = b;
         c < trace.blocks.size() && trace.blocks[c].streamBegin < trace.eventStarts[e + 1]; ++c) {
      whole = whole && damaged.survivingBlocks[c];
    }
    damaged.recoverable.push_back(whole);
  }
  const size_t fields = layout::kTextPrefixSize;
  damaged.headerChanged =
      d.bytes.size() < trace.headerSize ||
      !std::equal(original.begin() + fields,
                  original.begin() + static_cast<ptrdiff_t>(trace.headerSize - 2),
                  d.bytes.begin() + fields);
  const bool footerKept = d.bytes.size() >= layout::kFooterSize &&
                          std::equal(original.end() - layout::kFooterSize, original.end(),
                                     d.bytes.end() - layout::kFooterSize);
  if (d.bytes == original) {
    damaged.expectedStatus = 0;
  } else {
    // Damage at the end alone (3) leaves a tail that no block survives in
    // and no footer to check the file by. The original footer still at the
    // end checks, so whatever changed lies inside (4).
    damaged.expectedStatus = footerKept || same < trace.headerSize || survivorAfterDamage ? 4 : 3;
  }
  damaged.bytes = std::move(d.bytes);
  return damaged;
}

}  // namespace qnvtab::field
