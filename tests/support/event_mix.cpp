#include "event_mix.h"

#include <algorithm>

#include "table/cell_format.h"

namespace qnvtab::builder {
namespace {

// Bytes that tend to break text tables, given extra weight in payloads.
constexpr uint8_t kAwkwardBytes[] = {'"', '\r', '\n', '\t', 0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF};

}  // namespace

EventMix::EventMix(uint64_t seed, const EventMixOptions& options)
    : options_(options), state_(seed), stamp_(options.firstStamp) {}

uint64_t splitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t EventMix::nextWord() { return splitMix64(state_); }

uint32_t EventMix::below(uint32_t bound) { return static_cast<uint32_t>(nextWord() % bound); }

void EventMix::fillPayload(Bytes& data, size_t size) {
  data.resize(size);
  switch (below(4)) {
    case 0:  // printable text
      for (uint8_t& b : data) b = static_cast<uint8_t>(32 + below(95));
      break;
    case 1:  // binary
      for (uint8_t& b : data) b = static_cast<uint8_t>(below(256));
      break;
    default:  // text with awkward bytes mixed in
      for (uint8_t& b : data) {
        b = below(4) == 0 ? kAwkwardBytes[below(sizeof kAwkwardBytes)]
                          : static_cast<uint8_t>(32 + below(95));
      }
      break;
  }
}

EventSpec EventMix::next() {
  EventSpec event;
  if (!first_) stamp_ += below(options_.maxStampStep + 1);
  first_ = false;
  event.timeStamp = stamp_;
  event.prefix = static_cast<uint16_t>(nextWord());

  if (below(6) != 0) {
    event.cmd = CommandNames[below(kCommandNameCount)].code;
  } else {
    do {
      event.cmd = static_cast<uint8_t>(below(256));
    } while (commandMnemonic(event.cmd) != nullptr);
  }
  const uint32_t rcKind = below(8);
  event.rc = rcKind == 0 ? 0xFF : rcKind < 5 ? 0x00 : static_cast<uint8_t>(below(0xFF));
  event.info = static_cast<uint8_t>(below(256));

  const bool small = below(2) == 0;
  event.poIn = static_cast<uint16_t>(small ? below(16) : below(65536));
  event.poOut = static_cast<uint16_t>(small ? below(16) : below(65536));
  const uint32_t lsnBound = options_.wideLsn ? 65536 : 256;
  event.lsnIn = static_cast<uint16_t>(below(lsnBound));
  event.lsnOut = static_cast<uint16_t>(below(lsnBound));
  event.bufferAddress = static_cast<uint32_t>(nextWord());

  const bool large = options_.largeContentOneIn != 0 && below(options_.largeContentOneIn) == 0;
  const uint32_t contentMax = large ? std::max(options_.largeContentMax, options_.commonContentMax)
                                    : options_.commonContentMax;
  const size_t content = below(contentMax + 1u);
  fillPayload(event.data, content);

  const uint32_t lengthKind = below(10);
  if (lengthKind < 7) {
    event.length = static_cast<uint16_t>(content);
  } else if (lengthKind < 9) {
    event.length = static_cast<uint16_t>(std::min<size_t>(content + 1 + below(100), 65535));
  } else {
    event.length = static_cast<uint16_t>(below(static_cast<uint32_t>(content) + 1));
  }
  return event;
}

std::vector<EventSpec> makeEventMix(uint64_t seed, size_t count, const EventMixOptions& options) {
  EventMix mix(seed, options);
  std::vector<EventSpec> events;
  events.reserve(count);
  for (size_t i = 0; i < count; ++i) events.push_back(mix.next());
  return events;
}

}  // namespace qnvtab::builder
