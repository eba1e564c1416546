#include "summary/summary_report.h"

#include <algorithm>
#include <cinttypes>

#include "summary/event_sections.h"
#include "summary/markup.h"
#include "summary/svg_chart.h"

namespace qnvtab {
namespace {

constexpr char kStyle[] =
    "body{font:15px/1.45 system-ui,sans-serif;color:#222;max-width:1120px;margin:0 auto;"
    "padding:16px 24px}h1{font-size:24px;word-break:break-all}h2{font-size:19px;margin-top:32px;"
    "border-bottom:2px solid #0072B2}table{border-collapse:collapse;margin:8px 0}"
    "th,td{padding:2px 10px;border-bottom:1px solid #ddd;text-align:left;vertical-align:top}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}table.facts th{font-weight:600}"
    "table.facts td{white-space:pre-wrap;overflow-wrap:anywhere}"
    "svg{max-width:100%;height:auto;display:block;margin:12px 0}svg text{font:12px sans-serif}"
    ".keys{display:grid;grid-template-columns:repeat(auto-fit,minmax(420px,1fr));gap:0 24px}"
    ".sound{color:#1a7f37;font-weight:bold}.damaged{color:#B2182B;font-weight:bold}"
    "code,.faults{font-family:ui-monospace,monospace;font-size:13px;word-break:break-all}";

void addFact(std::string& out, const std::string& name, const std::string& value) {
  out += "<tr><th>" + markupEscaped(name) + "</th><td>" + markupEscaped(value) + "</td></tr>";
}

void addFile(std::string& out, const TraceSummary& summary) {
  out += "<h2>File</h2><table class=\"facts\">";
  addFact(out, "file", summary.fileName);
  addFact(out, "size", std::to_string(summary.fileSize) + " bytes");
  if (summary.packing) addFact(out, "compressed", packingText(*summary.packing));
  if (summary.header) {
    addFact(out, "trace version", std::to_string(summary.header->version.number));
    addFact(out, "header text", summary.headerText);
    for (const HeaderMoment& moment : headerMoments(*summary.header)) {
      const std::string name =
          moment.name == std::string("first_event") ? "first event" : moment.name;
      addFact(out, name, moment.time + (moment.gmtOffset.empty() ? "" : " GMT" + moment.gmtOffset));
    }
  }
  if (summary.footer) {
    addFact(out, "blocks (footer)",
            formatted("%u of at most %u bytes, data %" PRIu32 " bytes",
                      unsigned{summary.footer->blockCount()}, unsigned{summary.footer->blockSize()},
                      summary.footer->dataLength()));
  }
  const BlockTally& blocks = summary.blocks;
  std::string read = formatted("%" PRIu64 " blocks, %" PRIu32 " stored, %" PRIu32 " compressed",
                               summary.figures.blocks, blocks.stored, blocks.compressed);
  if (summary.salvage) read += formatted(", %" PRIu64 " lost", summary.figures.blocksLost);
  addFact(out, "read", read);
  if (blocks.expandedBytes > 0) {
    addFact(out, "compression",
            formatted("%" PRIu64 " event bytes kept in %" PRIu64 " (%.1f%% saved)",
                      blocks.expandedBytes, blocks.payloadBytes,
                      100.0 - percentOf(blocks.payloadBytes, blocks.expandedBytes)));
  }
  out += "</table>";
}

void addIntegrity(std::string& out, const TraceSummary& summary) {
  out += "<h2>Integrity</h2>";
  if (summary.faults.empty()) {
    out += "<p><span class=\"sound\">sound</span>: every check passed.</p>";
  } else {
    out += "<p><span class=\"damaged\">damaged</span>:</p><ul class=\"faults\">";
    for (const std::string& fault : summary.faults) out += "<li>" + markupEscaped(fault) + "</li>";
    out += "</ul>";
  }
  // A run without salvage stops at the first fault and maps nothing: a map
  // all grey would then claim the file intact.
  if (!summary.faults.empty() && summary.damage.empty()) {
    out += "<p>The damage is not mapped to regions of the file";
    out +=
        summary.salvage ? ".</p>" : "; --salvage maps the intact, repaired and lost regions.</p>";
    return;
  }
  out += fileMap("Map of the file: intact, repaired and lost regions", summary.fileSize,
                 summary.damage);
  // Each byte counted once where regions overlap (a repaired block header
  // inside a lost stretch), for the first region that holds it.
  uint64_t repaired = 0;
  uint64_t lost = 0;
  uint64_t counted = 0;
  for (const FileRegion& region : summary.damage) {
    const uint64_t from = std::max(region.from, counted);
    const uint64_t to = std::min(region.to, summary.fileSize);
    if (to <= from) continue;
    (region.kind == RegionKind::Lost ? lost : repaired) += to - from;
    counted = to;
  }
  out += "<p>" +
         markupEscaped(formatted("%" PRIu64 " bytes intact, %" PRIu64 " repaired, %" PRIu64
                                 " lost, of %" PRIu64 ".",
                                 summary.fileSize - std::min(summary.fileSize, repaired + lost),
                                 repaired, lost, summary.fileSize)) +
         "</p>";
  if (summary.damage.empty()) return;
  appendTableHead(out, {"kind", "from offset", "to offset", "bytes"});
  for (const FileRegion& region : summary.damage) {
    appendTableRow(out, {region.kind == RegionKind::Lost ? "lost" : "repaired",
                         std::to_string(region.from), std::to_string(region.to),
                         std::to_string(region.to - std::min(region.from, region.to))});
  }
  out += "</table>";
}

void addEvents(std::string& out, const TraceSummary& summary) {
  const EventStats& events = *summary.events;
  const EventTally& tally = summary.figures.events;
  out += "<h2>Events</h2>";
  if (!summary.selection.empty()) {
    out += "<p>Selection:";
    for (const std::string& option : summary.selection) {
      out += " <code>" + markupEscaped(option) + "</code>";
    }
    out += " (the figures below are of the selected events)</p>";
  }
  out += "<table class=\"facts\">";
  addFact(out, "events", std::to_string(tally.events));
  addFact(out, "errors",
          formatted("%" PRIu64 " (RC 0xFF, %.2f%%)", tally.errors,
                    percentOf(tally.errors, tally.events)));
  if (tally.events > 0) {
    const EventTime first = *tally.first;
    const EventTime last = *tally.last;
    addFact(out, "first event",
            isoText(first) + formatted(" (event %" PRId32 ")", events.firstNumber()));
    addFact(out, "last event",
            isoText(last) + formatted(" (event %" PRId32 ")", events.lastNumber()));
    addFact(out, "span", formatted("%.3f s", static_cast<double>(tally.spanMs()) / 1000));
    if (const std::optional<double> rate = tally.meanRate()) {
      addFact(out, "mean rate", formatted("%.2f events/s", *rate));
    }
    addFact(out, "busiest second",
            formatted("%" PRIu64 " events in the second from ", events.busiestSecondEvents()) +
                isoText({events.busiestSecond(), 0}).substr(0, 19));
    addFact(
        out, "stamped back",
        std::to_string(events.backSteps()) + " times an event is stamped before the one before it");
    addFact(out, "longest data", std::to_string(events.longestData()) + " bytes");
  }
  out += "</table>";
}

}  // namespace

std::string summaryReport(const TraceSummary& summary) {
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  out += "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">";
  out += "<title>qnvtab report: " + markupEscaped(summary.fileName) + "</title>";
  out += std::string("<style>") + kStyle + "</style></head><body>";
  out += "<h1>Trace report: <code>" + markupEscaped(summary.fileName) + "</code></h1>";
  addFile(out, summary);
  addIntegrity(out, summary);
  if (summary.events != nullptr) {
    addEvents(out, summary);
    if (summary.figures.events.events > 0) out += eventSections(summary);
  }
  return out + "</body></html>\n";
}

}  // namespace qnvtab
