// Finding the first whole record after a gap in the event stream. Blocks
// carry no record marker, so a block after lost ones begins inside some
// record. A wrong offset usually reaches a true record boundary after one
// length hop, so chains of records barely tell offsets apart; what does is
// judging the first records against what the intact records before the gap
// show: their command codes and time stamps.
#ifndef QNVTAB_EVENTS_RECORD_RESYNC_H_
#define QNVTAB_EVENTS_RECORD_RESYNC_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "events/event_framer.h"
#include "trace/trace_format.h"

namespace qnvtab {

// What the intact records so far show.
class RecordHealth {
 public:
  void observe(const RecordRun& run, const layout::EventHeadLayout& head);

  uint64_t records() const { return records_; }
  std::optional<uint32_t> lastStamp() const { return last_; }
  // Most records carry a known command code.
  bool commandsKnown() const;
  // Time stamps nearly always rise or stay.
  bool stampsRise() const;
  // The largest step between consecutive stamps that rose.
  uint32_t largestStep() const { return largestStep_; }
  size_t largestRecord() const { return largestRecord_; }

 private:
  uint64_t records_ = 0;
  uint64_t knownCommands_ = 0;
  uint64_t risingPairs_ = 0;
  uint32_t largestStep_ = 0;
  size_t largestRecord_ = 0;
  std::optional<uint32_t> last_;
};

// How strictly a candidate record is judged: the strictest that the
// intact records support.
struct BoundaryRule {
  bool knownCommand = false;
  bool risingStamps = false;
  std::optional<uint32_t> anchorStamp;  // the last intact event's stamp
  uint32_t maxGap = 0;   // ms from the anchor to the first record after the gap
  uint32_t maxStep = 0;  // ms between the records of a candidate chain
  // Records much larger than any intact one are taken for chance bytes
  // rather than waited for.
  size_t maxRecord = SIZE_MAX;
};

// The rule for `health` after a gap that may have held up to `lostBytes`
// bytes of the event stream: the first event after it lies at most as many
// steps after the anchor as records of `headSize` bytes fit in them.
// `fallbackAnchor` stands in when no record was intact yet (the header's
// first-event stamp). None when the records give nothing to judge by: then
// bytes are skipped rather than guessed at.
std::optional<BoundaryRule> chooseBoundaryRule(const RecordHealth& health,
                                               std::optional<uint32_t> fallbackAnchor,
                                               uint64_t lostBytes, size_t headSize);

struct BoundarySearch {
  enum Result { Found, NeedMoreData, NotFound } result = NotFound;
  size_t offset = 0;  // Found: the boundary; NeedMoreData: bytes before it can go
};

// The first offset in `bytes` at which records pass `rule`: two whole
// records (three without an anchor stamp). With `endOfData`, no more bytes
// will follow, and a chain that uses the bytes exactly passes too. A chain
// waits for more data only while the bytes from its start stay within
// `maxHeld`, so that the next block still fits behind them.
BoundarySearch findRecordBoundary(std::span<const uint8_t> bytes,
                                  const layout::EventHeadLayout& head, const BoundaryRule& rule,
                                  bool endOfData, size_t maxHeld);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_RECORD_RESYNC_H_
