#include "summary/summary_tsv.h"

namespace qnvtab {

std::string summaryTsvTitle() {
  return "file\tsize\tversion\tstatus\tevents\terrors\tfirst_time\tlast_time\tspan_ms\tblocks\t"
         "blocks_lost\tbytes_skipped\n";
}

std::string summaryTsvRow(const TraceSummary& summary) {
  std::string row = summary.fileName + '\t' + std::to_string(summary.fileSize) + '\t';
  if (summary.header) row += std::to_string(summary.header->version.number);
  row += '\t' + summary.status + '\t';
  const EventStats* events = summary.events;
  const bool any = events != nullptr && events->events() > 0;
  row += std::to_string(events != nullptr ? events->events() : 0) + '\t' +
         std::to_string(events != nullptr ? events->errors() : 0) + '\t';
  if (any) {
    row += isoText(*events->firstTime()) + '\t' + isoText(*events->lastTime()) + '\t' +
           std::to_string(events->spanMs());
  } else {
    row += "\t\t0";
  }
  const BlockTally& blocks = summary.blocks;
  row += '\t' + std::to_string(uint64_t{blocks.stored} + blocks.compressed) + '\t' +
         std::to_string(summary.salvaged.blocksLost) + '\t' +
         std::to_string(summary.salvaged.bytesSkipped) + '\n';
  return row;
}

}  // namespace qnvtab
