#include "summary/trace_look.h"

#include <utility>

namespace qnvtab {

TraceLook::TraceLook(LookRequest request, IncidentReporter& incidents)
    : request_(std::move(request)), incidents_(incidents), damage_(request_.fileSize) {
  if (request_.wanted) stats_.emplace();
}

void TraceLook::report(const Incident& incident) {
  incidents_.report(incident);
  damage_.report(incident);
  if (++incidentCount_ <= kIncidentLines) {
    incidentLines_.push_back(request_.wording.incident(incident));
  }
}

TraceSummary TraceLook::summarize(ByteSource& input, const TraceEnding& ending,
                                  const std::string& fault, const std::string& salvage) const {
  TraceSummary summary;
  summary.fileName = request_.fileName;
  summary.packing = request_.packing;
  summary.figures = traceFigures(ending, stats_ ? stats_->tally() : EventTally{});
  // What the conversion took of the header and footer; read again only
  // where it stopped at them.
  summary.fileSize = static_cast<uint64_t>(input.size());
  summary.header = ending.header;
  summary.footer = ending.footer;
  if (!ending.header) readContainerFacts(input, summary);
  if (summary.header) summary.headerText = request_.wording.name(summary.header->header.text());
  summary.blocks = ending.blocks;
  summary.salvage = ending.salvage;
  summary.salvaged = ending.salvaged;
  summary.faults = incidentLines_;
  if (incidentCount_ > kIncidentLines) {
    summary.faults.push_back("... and " + std::to_string(incidentCount_ - kIncidentLines) +
                             " more incidents");
  }
  if (!fault.empty()) summary.faults.push_back(fault);
  // A salvage run that met no damage is sound; its closing line then says
  // only what was read.
  if (!summary.faults.empty() && !salvage.empty()) summary.faults.push_back(salvage);
  summary.damage = damage_.regions();
  summary.selection = request_.selection;
  summary.events = stats_ ? &*stats_ : nullptr;
  return summary;
}

}  // namespace qnvtab
