// JSON Lines: one object per event on a line of its own, for the tools
// that read logs in bulk. Its keys are the database's column names, in the
// table's order with the timestamps after the time of day and the data
// bytes before their dumps; integers are numbers, every text the table's
// cell without its quotes. A trace's name, when given, leads each object,
// so that the objects of several traces can share one stream.
#ifndef QNVTAB_JSONL_JSONL_SINK_H_
#define QNVTAB_JSONL_JSONL_SINK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "events/row_sink.h"
#include "events/time_text.h"
#include "table/event_cells.h"
#include "table/output_buffer.h"
#include "table/table_columns.h"

namespace qnvtab {

class JsonlSink : public RowSink {
 public:
  // `trace`, when not empty, is written as the "trace" of every object.
  explicit JsonlSink(ByteSink& sink, std::string_view trace = {});

  // False when the buffers could not be allocated.
  bool allocated() const { return out_.allocated() && cells_.allocated(); }

  void begin(const TraceHeader& header, TraceVersion version, const RowOptions& options) override;
  bool write(const RecordRun& run) override;
  bool failed() const override { return out_.failed(); }
  bool finish() override { return out_.flush(); }
  std::string failureReason() const override;

 private:
  void writeEvent(EventCells& cells);
  void writeString(std::string_view text);

  ByteSink& sink_;
  OutputBuffer out_;
  EventCells cells_;
  std::vector<TableColumn> columns_;
  std::vector<std::string> keys_;  // `,"name":` of each column, `{` before the first
  std::string lead_;               // `{"trace":"NAME",`, or `{`
  IsoTimeText localText_;
  IsoTimeText utcText_;
  std::optional<int32_t> utcOffset_;  // seconds east of Greenwich, where the trace gives it
};

}  // namespace qnvtab

#endif  // QNVTAB_JSONL_JSONL_SINK_H_
