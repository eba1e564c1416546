// A run of whole event records as the framer hands them out, and the one
// walk over its records that every consumer uses.
#ifndef QNVTAB_EVENTS_RECORD_RUN_H_
#define QNVTAB_EVENTS_RECORD_RUN_H_

#include <cstddef>
#include <cstdint>

#include "events/event_record.h"
#include "trace/trace_format.h"

namespace qnvtab {

// Whole event records, back to back, numbered from `firstNumber` on.
// Event numbers are 32-bit and run on modulo 2^32, as signed values.
struct RecordRun {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  uint32_t count = 0;
  int32_t firstNumber = 1;
};

// One record of a run: its event number, its bytes from the head on, and
// its whole size.
struct RunRecord {
  int32_t number;
  const uint8_t* bytes;
  size_t size;
};

// Calls `visit(record)` for every record of `run`, in order.
template <typename Visit>
void forEachRecord(const RecordRun& run, const layout::EventHeadLayout& head, Visit&& visit) {
  uint32_t number = static_cast<uint32_t>(run.firstNumber);
  for (size_t pos = 0; pos < run.size; ++number) {
    const RunRecord record{static_cast<int32_t>(number), run.bytes + pos,
                           recordSize(run.bytes + pos, head)};
    visit(record);
    pos += record.size;
  }
}

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_RECORD_RUN_H_
