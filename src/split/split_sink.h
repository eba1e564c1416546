// A row sink that spreads the rows over parts of at most a given number of
// rows each, whatever the format: after every full part it finishes that
// part's sink and begins the next one, made by a part factory, with the
// same header, so each part has its own informative header and titles.
#ifndef QNVTAB_SPLIT_SPLIT_SINK_H_
#define QNVTAB_SPLIT_SPLIT_SINK_H_

#include <cstdint>

#include "events/row_sink.h"

namespace qnvtab {

class PartFactory {
 public:
  virtual ~PartFactory() = default;
  // The sink of part `number` (2 for the first part after the given
  // output), not yet begun; null when it cannot be made. The sink of the
  // part before has been finished and is not used again.
  virtual RowSink* makePart(uint32_t number) = 0;
};

class SplitSink : public RowSink {
 public:
  // `firstPart` is the output as given; the others come from `parts`, only
  // once a row is there for them.
  SplitSink(uint64_t rowsPerPart, RowSink& firstPart, PartFactory& parts)
      : rowsPerPart_(rowsPerPart), current_(&firstPart), parts_(parts) {}

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  void write(const RecordRun& run) override;
  bool failed() const override { return partFailed_ || current_->failed(); }
  bool finish() override { return !partFailed_ && current_->finish(); }
  // A part that could not be made is reported by the part factory.
  std::string failureReason() const override { return current_->failureReason(); }

 private:
  // Finishes the full current part and begins the next; false on failure.
  bool nextPart();

  uint64_t rowsPerPart_;
  RowSink* current_;
  PartFactory& parts_;
  uint32_t partNumber_ = 1;
  uint64_t rowsInPart_ = 0;
  bool partFailed_ = false;  // a part could not be finished or made
  TraceHeader header_;       // begins every part
  TraceVersion version_;
  RowOptions options_;
};

}  // namespace qnvtab

#endif  // QNVTAB_SPLIT_SPLIT_SINK_H_
