// Traces and helpers shared by the tests of the workbook and database
// formats: a mix of events with the cells that spreadsheets reinterpret,
// and conversions of one trace into several formats side by side.
#ifndef QNVTAB_TESTS_SUPPORT_FORMAT_FIXTURES_H_
#define QNVTAB_TESTS_SUPPORT_FORMAT_FIXTURES_H_

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "event_mix.h"
#include "harness.h"
#include "writer/trace_writer.h"

namespace qnvtab::testing {

constexpr size_t kSpecialEvents = 6;

// `mixed` events of the event mix, then kSpecialEvents events whose cells a spreadsheet would change if it
// read the TSV table: Cmd 08, a dump "6E 67", dumps starting with '=' and
// with quotes, an event with data but Length 0.
inline std::vector<builder::EventSpec> mixedEvents(unsigned version, size_t mixed = 300) {
  builder::EventMixOptions mix;
  mix.wideLsn = version != 5;
  std::vector<builder::EventSpec> events = builder::makeEventMix(13, mixed, mix);
  const std::vector<builder::Bytes> payloads = {
      {0x6E, 0x67}, {'=', '1', '+', '2'}, {'"', '=', '"', '"'}, {'-', '5'}, {'0', '1'}};
  uint32_t stamp = events.back().timeStamp;
  for (const builder::Bytes& data : payloads) {
    builder::EventSpec event;
    event.timeStamp = ++stamp;
    event.cmd = 0x08;
    event.data = data;
    event.length = static_cast<uint16_t>(data.size());
    events.push_back(event);
  }
  builder::EventSpec unshown;
  unshown.timeStamp = stamp;
  unshown.data = {1, 2, 3};
  events.push_back(unshown);
  return events;
}

inline builder::Trace mixedTrace(unsigned version, size_t mixed = 300) {
  builder::TraceSpec plan;
  plan.header.version = version;
  plan.header.startDate = {1, 1, 1980};  // dates with a leading zero
  plan.header.firstEventDate = {1, 1, 1980};
  return builder::buildTrace(plan, builder::encodeEvents(mixedEvents(version, mixed), version));
}

// The table's cell of a code given in decimal: hexCell("x%02X", "255") is
// "xFF".
inline std::string hexCell(const char* format, const std::string& decimal) {
  char text[16];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(std::stoul(decimal)));
  return text;
}

// The data bytes of `event` that its dumps show: at most Length of them.
inline std::string shownBytes(const builder::EventSpec& event) {
  const size_t shown = std::min<size_t>(event.length, event.data.size());
  return std::string(event.data.begin(), event.data.begin() + static_cast<long>(shown));
}

// Converts the trace file `input` into `output` with `options`.
inline RunResult convertFile(const std::string& input, const std::string& output,
                             std::vector<std::string> options = {}) {
  options.insert(options.begin(), {"-i" + input, "-o" + output});
  return runQnvtab(options);
}

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_FORMAT_FIXTURES_H_
