#include "summary/summary_text.h"

#include <cinttypes>
#include <cstdio>
#include <optional>

#include "summary/markup.h"

namespace qnvtab {
namespace {

void addFile(std::string& out, const TraceSummary& summary) {
  out += "file:         " + summary.fileName + "\n";
  appendFormatted(out, "size:         %" PRIu64 " bytes\n", summary.fileSize);
  if (summary.packing) out += "compressed:   " + packingText(*summary.packing) + "\n";
  if (!summary.header) return;
  appendFormatted(out, "version:      %u\n", unsigned{summary.header->version.number});
  out += "header text:  " + summary.headerText + "\n";
  for (const HeaderMoment& moment : headerMoments(*summary.header)) {
    const std::string name = moment.name == std::string("first_event") ? "1st event" : moment.name;
    appendFormatted(out, "%-13s %s%s%s\n", (name + ":").c_str(), moment.time.c_str(),
        moment.gmtOffset.empty() ? "" : " GMT", moment.gmtOffset.c_str());
  }
  const BlockTally& blocks = summary.blocks;
  if (summary.footer) {
    appendFormatted(out, "blocks:       %u of at most %u bytes, data %" PRIu32 " bytes\n",
        unsigned{summary.footer->blockCount()}, unsigned{summary.footer->blockSize()},
        summary.footer->dataLength());
  }
  appendFormatted(out, "read:         %" PRIu64 " blocks, %" PRIu32 " stored, %" PRIu32 " compressed",
      summary.figures.blocks, blocks.stored, blocks.compressed);
  if (summary.salvage) appendFormatted(out, ", %" PRIu64 " lost", summary.figures.blocksLost);
  out += "\n";
  if (blocks.expandedBytes > 0) {
    appendFormatted(out, "compression:  %" PRIu64 " event bytes kept in %" PRIu64 " bytes (%.1f%% saved)\n",
        blocks.expandedBytes, blocks.payloadBytes,
        100.0 - percentOf(blocks.payloadBytes, blocks.expandedBytes));
  }
}

void addIntegrity(std::string& out, const TraceSummary& summary) {
  if (summary.faults.empty()) {
    out += "integrity:    sound\n";
    return;
  }
  out += "integrity:    damaged\n";
  for (const std::string& fault : summary.faults) out += "  " + fault + "\n";
}

void addEvents(std::string& out, const TraceSummary& summary) {
  const EventStats& events = *summary.events;
  const EventTally& tally = summary.figures.events;
  if (!summary.selection.empty()) {
    out += "selection:   ";
    for (const std::string& option : summary.selection) out += " " + option;
    out += " (the figures below are of the selected events)\n";
  }
  appendFormatted(out, "events:       %" PRIu64 ", %" PRIu64 " errors (RC 0xFF, %.2f%%)\n", tally.events,
      tally.errors, percentOf(tally.errors, tally.events));
  if (tally.events == 0) return;
  const EventTime first = *tally.first;
  const EventTime last = *tally.last;
  appendFormatted(out, "first event:  %s (event %" PRId32 ")\n", isoText(first).c_str(), events.firstNumber());
  appendFormatted(out, "last event:   %s (event %" PRId32 ")\n", isoText(last).c_str(), events.lastNumber());
  appendFormatted(out, "span:         %.3f s", static_cast<double>(tally.spanMs()) / 1000);
  if (const std::optional<double> rate = tally.meanRate()) {
    appendFormatted(out, ", %.2f events/s on average", *rate);
  }
  out += "\n";
  appendFormatted(out, "busiest:      %" PRIu64 " events in the second from %.19s\n",
      events.busiestSecondEvents(), isoText({events.busiestSecond(), 0}).c_str());
  appendFormatted(out, "stamp back:   %" PRIu64 " times an event is stamped before the one before it\n",
      events.backSteps());
  appendFormatted(out, "longest data: %u bytes\n", unsigned{events.longestData()});
}

// The lines of the busiest kShownCodes codes, then how many more there are.
constexpr size_t kShownCodes = 20;

void addMore(std::string& out, size_t codes, const char* what) {
  if (codes > kShownCodes) appendFormatted(out, "... and %zu more %s\n", codes - kShownCodes, what);
}

void addCommands(std::string& out, const EventStats& events) {
  out += "\ncommand      events     errors     data bytes\n";
  const std::vector<uint8_t> commands = busiestCommands(events);
  for (size_t i = 0; i < commands.size() && i < kShownCodes; ++i) {
    const CommandCount& command = events.commands()[commands[i]];
    appendFormatted(out, "%-4s %14" PRIu64 " %10" PRIu64 " %14" PRIu64 "\n",
                    commandText(commands[i]).c_str(), command.events, command.errors,
                    command.dataBytes);
  }
  addMore(out, commands.size(), "commands");
  out += "\nreturn code  events\n";
  const std::vector<uint8_t> codes = busiestReturnCodes(events);
  for (size_t i = 0; i < codes.size() && i < kShownCodes; ++i) {
    appendFormatted(out, "x%02X %15" PRIu64 "\n", unsigned{codes[i]},
                    events.returnCodes()[codes[i]]);
  }
  addMore(out, codes.size(), "return codes");
}

void addKeys(std::string& out, const TraceSummary& summary) {
  const bool narrowSessions = summary.header && summary.header->version.number == 5;
  for (const EventKey key : {EventKey::PoIn, EventKey::LsnIn, EventKey::PoOut, EventKey::LsnOut}) {
    const KeyRanking ranking = rankKey(*summary.events, key);
    const bool session = key == EventKey::LsnIn || key == EventKey::LsnOut;
    appendFormatted(out, "\n%-6s %10" PRIu32 " distinct; the busiest:\n", keyName(key), ranking.distinct);
    for (const KeyFigures& figures : ranking.busiest) {
      char value[16];
      if (!session) {
        std::snprintf(value, sizeof value, "%u", unsigned{figures.value});
      } else {
        std::snprintf(value, sizeof value, narrowSessions ? "x%02X" : "x%04X",
                      unsigned{figures.value});
      }
      appendFormatted(out, "  %-8s %12" PRIu64 " events %10" PRIu64 " errors\n", value, figures.count.events,
          figures.count.errors);
    }
  }
}

}  // namespace

std::string summaryText(const TraceSummary& summary) {
  std::string out;
  addFile(out, summary);
  addIntegrity(out, summary);
  if (summary.events == nullptr) return out;
  addEvents(out, summary);
  if (summary.figures.events.events == 0) return out;
  addCommands(out, *summary.events);
  addKeys(out, summary);
  return out;
}

}  // namespace qnvtab
