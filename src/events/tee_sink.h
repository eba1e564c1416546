// A row sink that hands every run to two sinks in turn: an output, and a
// look at the events beside it. The output decides when the run fails or
// may end early; the look only counts.
#ifndef QNVTAB_EVENTS_TEE_SINK_H_
#define QNVTAB_EVENTS_TEE_SINK_H_

#include "events/row_sink.h"

namespace qnvtab {

class TeeSink : public RowSink {
 public:
  TeeSink(RowSink& output, RowSink& look) : output_(output), look_(look) {}

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override {
    output_.begin(header, version, options);
    look_.begin(header, version, options);
  }
  // The look sees every run, and the output says whether to go on.
  bool write(const RecordRun& run) override {
    const bool goOn = output_.write(run);
    look_.write(run);
    return goOn;
  }
  bool failed() const override { return output_.failed(); }
  bool finish() override { return look_.finish() && output_.finish(); }
  std::string failureReason() const override { return output_.failureReason(); }
  std::vector<OutputWarning> warnings() const override { return output_.warnings(); }

 private:
  RowSink& output_;
  RowSink& look_;
};

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_TEE_SINK_H_
