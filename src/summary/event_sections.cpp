#include "summary/event_sections.h"

#include <algorithm>
#include <cinttypes>

#include "summary/markup.h"
#include "summary/svg_chart.h"

namespace qnvtab {
namespace {

constexpr uint64_t kMinuteMs = 60 * 1000;
constexpr uint64_t kDayMs = 24 * 60 * kMinuteMs;
constexpr uint64_t kTickSteps[] = {1,
                                   2,
                                   5,
                                   10,
                                   20,
                                   50,
                                   100,
                                   200,
                                   500,
                                   1000,
                                   2000,
                                   5000,
                                   10000,
                                   15000,
                                   30000,
                                   kMinuteMs,
                                   2 * kMinuteMs,
                                   5 * kMinuteMs,
                                   10 * kMinuteMs,
                                   15 * kMinuteMs,
                                   30 * kMinuteMs,
                                   60 * kMinuteMs,
                                   120 * kMinuteMs,
                                   180 * kMinuteMs,
                                   360 * kMinuteMs,
                                   720 * kMinuteMs,
                                   kDayMs,
                                   2 * kDayMs,
                                   7 * kDayMs,
                                   14 * kDayMs,
                                   28 * kDayMs,
                                   364 * kDayMs,
                                   728 * kDayMs,
                                   1820 * kDayMs,
                                   3640 * kDayMs,
                                   7280 * kDayMs,
                                   36400 * kDayMs};

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
  // At most eight ticks, each a round time after the one before, on the
  // grid from 1980 that the bins lie on.
  const uint64_t spanMs = shown.bins.size() * shown.widthMs;
  uint64_t tickMs = spanMs;
  for (const uint64_t step : kTickSteps) {
    if (step % shown.widthMs == 0 && spanMs <= 8 * step) {
      tickMs = step;
      break;
    }
  }
  const uint64_t every = std::max<uint64_t>(1, tickMs / shown.widthMs);
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
