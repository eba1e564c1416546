#include "cli/trace_look.h"

#include "cli/diagnosis.h"
#include "cli/printable_name.h"
#include "cli/salvage_report.h"
#include "summary/summary_report.h"

namespace qnvtab {

TraceLook::TraceLook(const Options& options, const std::string& inputPath, uint64_t fileSize,
                     IncidentReporter& incidents)
    : options_(options), inputPath_(inputPath), incidents_(incidents), damage_(fileSize) {
  if (options.summary != SummaryFormat::None || !options.reportPath.empty()) stats_.emplace();
}

void TraceLook::report(const Incident& incident) {
  incidents_.report(incident);
  damage_.report(incident);
  if (++incidentCount_ <= kIncidentLines) incidentLines_.push_back(describeIncident(incident));
}

TraceSummary TraceLook::summarize(ByteSource& input, const ConversionOutcome& outcome,
                                  const std::string& fault, const std::string& salvage) const {
  TraceSummary summary;
  summary.fileName = printableName(inputPath_);
  summary.status = traceStatusName(outcome, options_.salvage);
  // What the conversion took of the header and footer; read again only
  // where it stopped at them.
  summary.fileSize = static_cast<uint64_t>(input.size());
  summary.header = outcome.header;
  summary.footer = outcome.footer;
  if (!outcome.header) readContainerFacts(input, summary);
  if (summary.header) summary.headerText = printableName(summary.header->header.text());
  summary.blocks = outcome.blocks;
  summary.salvage = options_.salvage;
  summary.salvaged = outcome.salvage;
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
  summary.selection = options_.selectionArguments;
  summary.events = stats_ ? &*stats_ : nullptr;
  return summary;
}

std::string writeReport(const TraceSummary& summary, const std::string& path, OutputFile& file) {
  const std::string page = summaryReport(summary);
  const bool written = file.write(page.data(), page.size());
  const int error = file.lastError();
  if (file.close() && written) return "";
  return printableName(path) + ": cannot write: " + systemReason(written ? file.lastError() : error);
}

}  // namespace qnvtab
