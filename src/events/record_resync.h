// Finding the first whole record after a gap in the event stream. Blocks
// carry no record marker, so a block after lost ones begins inside some
// record, and any offset may look like a record head. An offset is believed
// only when the chain of records from it holds together for long: every
// record within what the format bounds, each stamp consistent with the one
// before, on to the end of the bytes at hand. Chains from wrong offsets die
// within a few records or run into the true chain. Where two offsets'
// chains join, only a finer parse that begins first is believed before
// the join; otherwise only the records from the join on are taken.
#ifndef QNVTAB_EVENTS_RECORD_RESYNC_H_
#define QNVTAB_EVENTS_RECORD_RESYNC_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "events/record_run.h"
#include "trace/trace_format.h"

namespace qnvtab {

// What the intact records so far show.
class RecordHealth {
 public:
  void observe(const RecordRun& run, const layout::EventHeadLayout& head);

  uint64_t records() const { return records_; }
  std::optional<uint32_t> lastStamp() const { return last_; }
  // Enough records, nearly all with a known command code.
  bool commandsKnown() const;
  // The most a stamp ran back from the one before.
  uint32_t largestBackStep() const { return largestBackStep_; }
  // The most a stamp ran ahead of the one before.
  uint32_t largestStep() const { return largestStep_; }
  size_t largestRecord() const { return largestRecord_; }
  // Records whose data is whole records, as a trace read back over the
  // link holds the records it read: two of them, as chance makes one.
  bool dataCarriesRecords() const { return carriers_ >= 2; }

 private:
  uint64_t records_ = 0;
  uint64_t knownCommands_ = 0;
  uint32_t largestBackStep_ = 0;
  uint32_t largestStep_ = 0;
  size_t largestRecord_ = 0;
  uint64_t carriers_ = 0;
  std::optional<uint32_t> last_;
};

// What every record of a chain after a gap must satisfy.
struct ChainRules {
  bool knownCommand = false;
  // The last intact stamp before the gap: the first record after it is
  // stamped no earlier than `maxBackStep` before it.
  std::optional<uint32_t> anchorStamp;
  uint32_t maxBackStep = 0;     // ms a stamp may run back from the one before
  uint32_t maxForwardStep = 0;  // ms a stamp may run ahead of the one before
  size_t maxRecord = 0;         // no record is larger: the framing bound
  // A chain that ends in a record not yet whole, larger than any intact
  // record needed, is dropped rather than waited for.
  size_t largestKnownRecord = 0;
  // The trace's records carry records in their data. One whose head was
  // lost ends where the trace's data ends exactly as a chain of the
  // records in it does, so a short chain is not believed there.
  bool dataCarriesRecords = false;
  bool traceEnds = false;  // the bytes end with the trace's data, not at a fault
};

// The rules for the stream after a gap, from what `health` shows.
// `fallbackAnchor` stands in when no record was intact yet (the header's
// first-event stamp); `maxRecord` is the largest record the run can frame.
ChainRules chooseChainRules(const RecordHealth& health, std::optional<uint32_t> fallbackAnchor,
                            size_t maxRecord);

struct BoundarySearch {
  enum Result { Found, NeedMoreData, NotFound } result = NotFound;
  // Found: the boundary; NotFound: bytes that hold no boundary and can go;
  // NeedMoreData: 0, every byte is still needed.
  size_t offset = 0;
};

// Finds the first record boundary in `bytes` that the chains confirm. With
// `endOfData`, no more bytes will follow; `mayWait` says whether they may be
// waited for. Keeps its working memory across calls.
// The chain of records from one offset to the end of the bytes at hand.
struct ChainLink {
  int32_t records = 0;   // whole records, or -1 when the chain breaks
  uint32_t largest = 0;  // its largest whole record
  // The size of the record not yet whole at its end (of its head, when not
  // even that is whole); 0 when it ends exactly with the bytes.
  uint32_t open = 0;
};

class BoundaryFinder {
 public:
  BoundarySearch find(std::span<const uint8_t> bytes, const layout::EventHeadLayout& head,
                      const ChainRules& rules, bool endOfData, bool mayWait);

 private:
  std::vector<ChainLink> chain_;  // per offset
  std::vector<uint8_t> reached_;
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_RECORD_RESYNC_H_
