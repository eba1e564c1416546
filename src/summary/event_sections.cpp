#include "summary/event_sections.h"

#include <algorithm>
#include <cinttypes>

#include "summary/markup.h"
#include "summary/svg_chart.h"

namespace qnvtab {
namespace {

constexpr uint64_t kDayMs = 24 * 3600 * 1000;

std::string binStartText(uint64_t milliseconds) {
  return isoText(
      {static_cast<uint32_t>(milliseconds / 1000), static_cast<uint32_t>(milliseconds % 1000)});
}

// A tick's label, as short as the bin width allows: the date only for
// bins of days, and the day only when the span crosses midnight.
std::string tickText(uint64_t milliseconds, uint64_t width, bool oneDay) {
  const std::string iso = binStartText(milliseconds);  // 2008-05-19T10:20:30.000
  if (width >= kDayMs) return iso.substr(0, 10);
  const std::string time = iso.substr(11, width < 1000 ? 12 : width < 60000 ? 8 : 5);
  return oneDay ? time : iso.substr(5, 5) + " " + time;
}

void addTimeSection(std::string& out, const EventStats& events) {
  const HistogramBins shown = events.histogram().shown(kShownBins);
  out += "<h2>Events and errors over time</h2>";
  if (shown.bins.empty()) return;
  const uint64_t lastStart = shown.startMs + (shown.bins.size() - 1) * shown.widthMs;
  const std::string firstDay = binStartText(shown.startMs).substr(0, 10);
  const bool oneDay = firstDay == binStartText(lastStart).substr(0, 10);
  std::vector<CountBar> columns;
  for (size_t i = 0; i < shown.bins.size(); ++i) {
    columns.push_back({binStartText(shown.startMs + i * shown.widthMs), shown.bins[i].events,
                       shown.bins[i].errors});
  }
  // At most eight ticks, on round times: every so many bins of the grid
  // that starts in 1980, as the bins do.
  size_t every = 1;
  for (const size_t bins : {1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60}) {
    every = bins;
    if (shown.bins.size() <= 8 * bins) break;
  }
  std::vector<ColumnTick> ticks;
  for (size_t i = 0; i < shown.bins.size(); ++i) {
    if ((shown.startMs / shown.widthMs + i) % every != 0) continue;
    ticks.push_back({i, tickText(shown.startMs + i * shown.widthMs, shown.widthMs, oneDay)});
  }
  const std::string width = durationText(shown.widthMs);
  const std::string place = oneDay && shown.widthMs < kDayMs ? " on " + firstDay : "";
  out += columnChart({"Events and errors over wall-clock time, in bins of " + width,
                      "local time" + place + ", bins of " + width, "events per bin"},
                     columns, ticks);
  out += "<details><summary>The " + std::to_string(shown.bins.size()) + " bins of " +
         markupEscaped(width) + "</summary>";
  appendTableHead(out, {"bin from", "events", "errors"});
  for (const CountBar& column : columns) {
    appendTableRow(out,
                   {column.label, std::to_string(column.events), std::to_string(column.errors)});
  }
  out += "</table></details>";
}

void addCommandSection(std::string& out, const EventStats& events) {
  out += "<h2>Events and errors per command</h2>";
  std::vector<CountBar> bars;
  for (unsigned code = 0; code < 256; ++code) {
    const CommandCount& command = events.commands()[code];
    if (command.events > 0) {
      bars.push_back({commandText(static_cast<uint8_t>(code)), command.events, command.errors});
    }
  }
  // The busiest first in the chart; the table keeps the order of the codes.
  std::vector<CountBar> busiest = bars;
  std::stable_sort(busiest.begin(), busiest.end(),
                   [](const CountBar& a, const CountBar& b) { return a.events > b.events; });
  out += barChart({"Events and errors per command", "events", "command (Cmd)"}, busiest, 800);
  appendTableHead(out, {"Cmd", "code", "events", "errors", "data bytes"});
  for (unsigned code = 0; code < 256; ++code) {
    const CommandCount& command = events.commands()[code];
    if (command.events == 0) continue;
    appendTableRow(out, {commandText(static_cast<uint8_t>(code)), formatted("x%02X", code),
                         std::to_string(command.events), std::to_string(command.errors),
                         std::to_string(command.dataBytes)});
  }
  out += "</table><h3>Return codes</h3>";
  appendTableHead(out, {"RC", "events"});
  for (unsigned rc = 0; rc < 256; ++rc) {
    if (events.returnCodes()[rc] > 0)
      appendTableRow(out, {formatted("x%02X", rc), std::to_string(events.returnCodes()[rc])});
  }
  out += "</table>";
}

void addKeySection(std::string& out, const TraceSummary& summary) {
  out += "<h2>Activity per port and session</h2><div class=\"keys\">";
  const bool narrowSessions = summary.header && summary.header->version.number == 5;
  for (const EventKey key : {EventKey::PoIn, EventKey::PoOut, EventKey::LsnIn, EventKey::LsnOut}) {
    const KeyRanking ranking = rankKey(*summary.events, key);
    const bool session = key == EventKey::LsnIn || key == EventKey::LsnOut;
    std::vector<CountBar> bars;
    for (const KeyFigures& figures : ranking.busiest) {
      const unsigned value = figures.value;
      bars.push_back(
          {session ? formatted(narrowSessions ? "x%02X" : "x%04X", value) : std::to_string(value),
           figures.count.events, figures.count.errors});
    }
    const std::string name = keyName(key);
    out += "<section>";
    out += barChart({name + ": the busiest " + std::to_string(bars.size()) + " of " +
                         std::to_string(ranking.distinct) + " values",
                     "events", name + (session ? " (session, hex)" : " (port)")},
                    bars, 540);
    appendTableHead(out, {name, "events", "errors"});
    for (const CountBar& bar : bars)
      appendTableRow(out, {bar.label, std::to_string(bar.events), std::to_string(bar.errors)});
    out += "</table></section>";
  }
  out += "</div>";
}

}  // namespace

std::string durationText(uint64_t milliseconds) {
  struct Unit {
    uint64_t milliseconds;
    const char* one;
    const char* many;
  };
  static constexpr Unit kUnits[] = {{kDayMs, "day", "days"},
                                    {3600 * 1000, "h", "h"},
                                    {60 * 1000, "min", "min"},
                                    {1000, "s", "s"},
                                    {1, "ms", "ms"}};
  for (const Unit& unit : kUnits) {
    if (milliseconds >= unit.milliseconds && milliseconds % unit.milliseconds == 0) {
      const uint64_t amount = milliseconds / unit.milliseconds;
      return std::to_string(amount) + " " + (amount == 1 ? unit.one : unit.many);
    }
  }
  return std::to_string(milliseconds) + " ms";
}

std::string eventSections(const TraceSummary& summary) {
  std::string out;
  addTimeSection(out, *summary.events);
  addCommandSection(out, *summary.events);
  addKeySection(out, summary);
  return out;
}

}  // namespace qnvtab
