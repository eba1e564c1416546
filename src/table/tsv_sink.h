// The exact TSV table as a row sink: the optional informative header, the
// title line, then one row per event, into a large output buffer.
#ifndef QNVTAB_TABLE_TSV_SINK_H_
#define QNVTAB_TABLE_TSV_SINK_H_

#include <cstdint>
#include <optional>

#include "events/event_clock.h"
#include "events/event_record.h"
#include "events/row_sink.h"
#include "table/output_buffer.h"

namespace qnvtab {

class TsvSink : public RowSink {
 public:
  // The buffer always has room for the widest row.
  static constexpr size_t kMaxRowSize = 524400;

  explicit TsvSink(ByteSink& sink, size_t bufferCapacity = OutputBuffer::kDefaultCapacity)
      : out_(sink, bufferCapacity > kMaxRowSize ? bufferCapacity : kMaxRowSize) {}

  // False when the output buffer could not be allocated.
  bool allocated() const { return out_.allocated(); }

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  void write(const RecordRun& run) override;
  bool failed() const override { return out_.failed(); }
  bool finish() override { return out_.flush(); }

 private:
  char* writeRow(int32_t eventNumber, const EventRecord& record, const uint8_t* data, char* out);

  OutputBuffer out_;
  const layout::EventHeadLayout* head_ = nullptr;
  DataFormat dataFormat_ = DataFormat::Hex;
  uint32_t referenceStamp_ = 0;  // subtracted for the Time (msec) cell
  std::optional<EventClock> clock_;
  DateTimeText dateTime_;
};

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_TSV_SINK_H_
