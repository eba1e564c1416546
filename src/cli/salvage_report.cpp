#include "cli/salvage_report.h"

#include <cinttypes>

#include "cli/diagnosis.h"

namespace qnvtab {
namespace {

std::string number(uint64_t value) { return std::to_string(value); }

std::string plural(uint64_t count, const char* one, const char* many) {
  return number(count) + " " + (count == 1 ? one : many);
}

// "bytes 2048-2565 skipped (518 bytes)".
std::string skipped(const Incident& incident) {
  return "bytes " + number(incident.from) + "-" + number(incident.to - 1) + " skipped (" +
         plural(incident.to - incident.from, "byte", "bytes") + ")";
}

std::string lostBlocks(const Incident& incident) {
  if (incident.firstLostBlock == 0) return "";
  if (incident.firstLostBlock == incident.lastLostBlock) {
    return ", block " + number(incident.firstLostBlock) + " lost";
  }
  return ", blocks " + number(incident.firstLostBlock) + "-" + number(incident.lastLostBlock) +
         " lost";
}

std::string dropped(const Incident& incident) {
  return ", " + plural(incident.droppedStreamBytes, "event-stream byte", "event-stream bytes") +
         " dropped after event " + std::to_string(incident.afterEvent);
}

}  // namespace

std::string describeIncident(const Incident& incident) {
  const std::string cause = describeFault(incident.cause);
  switch (incident.kind) {
    case IncidentKind::UnverifiedHeader:
      return cause + ": the header is read by its text as the " + number(incident.cause.found) +
             "-byte layout, since " +
             (incident.confirmingBlock == 1 ? std::string("block 1 checks right after it")
              : incident.confirmingBlock == 0
                  ? std::string("the footer checks")
                  : "block " + number(incident.confirmingBlock) + " checks after it") +
             "; its checksum is wrong, so the trace's dates are unverified";
    case IncidentKind::FooterIgnored:
      return cause + ": footer ignored, blocks are read up to the end of the file";
    case IncidentKind::NumberRepaired:
      return cause + ": kept as block " + number(incident.cause.expected) +
             ", since its checksum and the block after it check";
    case IncidentKind::BytesSkipped:
      return cause + ": " + skipped(incident) + ", no block lost";
    case IncidentKind::BlocksLost:
      return cause + ": " + skipped(incident) + lostBlocks(incident) + dropped(incident);
    case IncidentKind::TornTail:
      return cause + ": torn tail, " + skipped(incident) + ", no further block" +
             lostBlocks(incident) + dropped(incident);
  }
  return cause;
}

std::string describeSalvage(const SalvageSummary& summary, int32_t events,
                            std::optional<uint64_t> selectedRows) {
  char share[32];
  std::snprintf(share, sizeof share, "%.1f%%",
                summary.fileSize == 0 ? 0.0 : 100.0 * summary.bytesSkipped / summary.fileSize);
  std::string text = "salvage: " + plural(summary.blocksRead, "block", "blocks") + " read, " +
                     number(summary.blocksLost) + " lost; " +
                     plural(summary.bytesSkipped, "byte", "bytes") + " skipped (" + share +
                     " of the file); " + plural(static_cast<uint32_t>(events), "event", "events") +
                     (selectedRows ? " read, " + plural(*selectedRows, "row", "rows") + " written, "
                                   : std::string(" written, "));
  if (summary.gaps == 0) return text + "none lost";
  text += "at least " + number(summary.gaps) + " lost";
  // Lost blocks are counted at the mean expanded size of the intact ones,
  // and lost bytes at the mean size of an event.
  if (events > 0 && summary.blocksRead > 0) {
    const double meanEvent = static_cast<double>(summary.streamBytesRead) / events;
    const double meanBlock = static_cast<double>(summary.streamBytesRead) / summary.blocksRead;
    const double lost = (summary.streamBytesLost + summary.blocksLost * meanBlock) / meanEvent;
    if (lost >= summary.gaps + 0.5) {
      text += " (about " + number(static_cast<uint64_t>(lost + 0.5)) +
              " by the mean event size, an estimate)";
    }
  }
  return text;
}

void StderrIncidentReporter::report(const Incident& incident) {
  if (progress_ != nullptr) progress_->clear();
  const std::string line = prefix_ + describeIncident(incident) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace qnvtab
