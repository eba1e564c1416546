// Random but reproducible event streams for tests and trace generators: the
// same seed gives the same events on every platform and compiler. The mix
// covers every command mnemonic and unknown codes, failed (RC 0xFF) and
// passed events, empty, short and long payloads of text and binary bytes
// (quotes and line-end bytes included), and Length fields above, equal to
// and below the number of bytes carried.
#ifndef QNVTAB_TESTS_SUPPORT_EVENT_MIX_H_
#define QNVTAB_TESTS_SUPPORT_EVENT_MIX_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab::builder {

struct EventMixOptions {
  uint32_t firstStamp = 1000;  // TimeStamp of the first event
  uint32_t maxStampStep = 9;   // each event is 0 to this many ms after the one before
  // Most payloads carry 0 to `commonContentMax` bytes; one event in
  // `largeContentOneIn` carries up to `largeContentMax` (0: never).
  uint16_t commonContentMax = 64;
  uint16_t largeContentMax = 300;
  uint32_t largeContentOneIn = 10;
  // false: LsnIn/LsnOut fit 8 bits, as in version-5 records.
  bool wideLsn = true;
};

// SplitMix64's next word from `state`: tiny, and the same numbers
// everywhere (the standard distributions are not).
uint64_t splitMix64(uint64_t& state);

// A deterministic generator of events: call next() for each one.
class EventMix {
 public:
  explicit EventMix(uint64_t seed, const EventMixOptions& options = {});

  EventSpec next();

  // 0 to bound - 1 (bound > 0), from the same stream as the events.
  uint32_t below(uint32_t bound);

 private:
  uint64_t nextWord();
  void fillPayload(Bytes& data, size_t size);

  EventMixOptions options_;
  uint64_t state_;
  uint32_t stamp_;
  bool first_ = true;
};

std::vector<EventSpec> makeEventMix(uint64_t seed, size_t count, const EventMixOptions& options = {});

}  // namespace qnvtab::builder

#endif  // QNVTAB_TESTS_SUPPORT_EVENT_MIX_H_
