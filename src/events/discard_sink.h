// A row sink that keeps nothing: for a run that only reads, checks and
// frames the trace.
#ifndef QNVTAB_EVENTS_DISCARD_SINK_H_
#define QNVTAB_EVENTS_DISCARD_SINK_H_

#include "events/row_sink.h"

namespace qnvtab {

class DiscardSink : public RowSink {
 public:
  void begin(const TraceHeader&, TraceVersion, const RowOptions&) override {}
  bool write(const RecordRun&) override { return true; }
  bool failed() const override { return false; }
  bool finish() override { return true; }
  std::string failureReason() const override { return ""; }
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_DISCARD_SINK_H_
