#include "summary/trace_figures.h"

namespace qnvtab {
namespace {

const char* statusOf(const TraceEnding& ending) {
  if (ending.failed) return "failed";
  if (!ending.salvage) return "sound";
  switch (damageFound(ending.salvaged)) {
    case DamageFound::Inside:
      return "damaged-inside";
    case DamageFound::AtEnd:
      return "damaged-end";
    case DamageFound::None:
      break;
  }
  return "sound";
}

}  // namespace

TraceFigures traceFigures(const TraceEnding& ending, const EventTally& events) {
  TraceFigures figures;
  figures.status = statusOf(ending);
  figures.events = events;
  figures.blocks = uint64_t{ending.blocks.stored} + ending.blocks.compressed;
  figures.blocksLost = ending.salvaged.blocksLost;
  figures.bytesSkipped = ending.salvaged.bytesSkipped;
  return figures;
}

}  // namespace qnvtab
