// What a trace's format version decides, in one place: the event head, the
// first-event fields, the GMT offsets and the options that old traces do
// not support.
#ifndef QNVTAB_TRACE_TRACE_VERSION_H_
#define QNVTAB_TRACE_TRACE_VERSION_H_

#include <cstdint>

#include "trace/trace_format.h"

namespace qnvtab {

struct TraceVersion {
  uint16_t number = 0;  // the header's major version, 5 to 8

  // Version 5 records have the 23-byte head with 8-bit sessions.
  const layout::EventHeadLayout& eventHead() const {
    return number == 5 ? layout::kEventHead23 : layout::kEventHead25;
  }
  // From version 7 the header records the first event, so the informative
  // header and times relative to the first event can be shown, and events
  // stamped before the first one are placed before it.
  bool recordsFirstEvent() const { return number >= 7; }
  // Version 8 headers carry real GMT offsets.
  bool hasGmtOffsets() const { return number > 7; }
};

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_VERSION_H_
