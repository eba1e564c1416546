#include "summary/summary_tsv.h"

namespace qnvtab {

std::string summaryTsvTitle() {
  return "file\tsize\tversion\tstatus\tevents\terrors\tfirst_time\tlast_time\tspan_ms\tblocks\t"
         "blocks_lost\tbytes_skipped\n";
}

std::string summaryTsvRow(const TraceSummary& summary) {
  std::string row = summary.fileName + '\t' + std::to_string(summary.fileSize) + '\t';
  if (summary.header) row += std::to_string(summary.header->version.number);
  const TraceFigures& figures = summary.figures;
  const EventTally& events = figures.events;
  row += std::string("\t") + figures.status + '\t' + std::to_string(events.events) + '\t' +
         std::to_string(events.errors) + '\t';
  if (events.first) row += isoText(*events.first);
  row += '\t';
  if (events.last) row += isoText(*events.last);
  row += '\t' + std::to_string(events.spanMs()) + '\t' + std::to_string(figures.blocks) + '\t' +
         std::to_string(figures.blocksLost) + '\t' + std::to_string(figures.bytesSkipped) + '\n';
  return row;
}

}  // namespace qnvtab
