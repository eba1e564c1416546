// --test and --info end to end: the summary's figures computed again from
// the table written in the same pass, on field traces of every version,
// sound, damaged (strict and salvaged) and under selections; and --test
// ends as a conversion of the same file ends.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "delimited_cells.h"
#include "field_traces.h"
#include "harness.h"
#include "trace/byte_source.h"
#include "trace/trace_header.h"

namespace qnvtab {
namespace {

using Json = nlohmann::json;

// Milliseconds since 1 January 1970 of a proleptic Gregorian date and time.
int64_t epochMs(int64_t y, unsigned m, unsigned d, unsigned hh, unsigned mm, unsigned ss,
                unsigned ms) {
  y -= m <= 2;
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return ((days * 24 + hh) * 60 + mm) * 60 * 1000 + ss * 1000 + ms;
}

// What the summary should say, counted from the rows of the table.
struct TableFigures {
  uint64_t events = 0;
  uint64_t errors = 0;
  std::string firstTime, lastTime;
  int64_t firstMs = 0, lastMs = 0;
  uint64_t backSteps = 0;
  std::map<std::string, std::pair<uint64_t, uint64_t>> commands;  // by Cmd cell
  std::map<unsigned, uint64_t> returnCodes;
  // Events and errors per value of PoIn, LsnIn, PoOut and LsnOut.
  std::array<std::map<unsigned, std::pair<uint64_t, uint64_t>>, 4> keys;
  std::map<std::string, uint64_t> seconds;  // events per Date and Local Time
};

TableFigures figuresOf(const std::string& table, unsigned version, uint32_t firstEventStamp) {
  TableFigures figures;
  testing::DelimitedReader reader(table);
  testing::DelimitedRow row;
  reader.next(row);  // the titles
  uint32_t lastStamp = 0;
  while (reader.next(row)) {
    const auto cell = [&](size_t i) { return row.at(i).text; };
    const uint32_t stamp = static_cast<uint32_t>(std::stoll(cell(1)));
    // The millisecond continues the second the Date and Local Time show.
    const uint32_t distance = stamp - (version >= 7 ? firstEventStamp : 0);
    const int32_t signedDistance = static_cast<int32_t>(distance);
    const unsigned ms = version >= 7 ? static_cast<unsigned>((signedDistance % 1000 + 1000) % 1000)
                                     : distance % 1000;
    const std::string date = cell(2), clock = cell(3);
    const int yy = std::stoi(date.substr(4, 2));
    const int year = yy >= 80 ? 1900 + yy : 2000 + yy;
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%s-%sT%s:%s:%s.%03u", year, date.substr(2, 2).c_str(),
                  date.substr(0, 2).c_str(), clock.substr(0, 2).c_str(), clock.substr(2, 2).c_str(),
                  clock.substr(4, 2).c_str(), ms);
    const int64_t at = epochMs(year, std::stoi(date.substr(2, 2)), std::stoi(date.substr(0, 2)),
                               std::stoi(clock.substr(0, 2)), std::stoi(clock.substr(2, 2)),
                               std::stoi(clock.substr(4, 2)), ms);
    if (figures.events == 0) {
      figures.firstTime = iso;
      figures.firstMs = at;
    } else if (stamp < lastStamp) {
      ++figures.backSteps;
    }
    figures.lastTime = iso;
    figures.lastMs = at;
    lastStamp = stamp;
    const bool error = cell(5) == "I";
    ++figures.events;
    figures.errors += error;
    auto& command = figures.commands[cell(4)];
    ++command.first;
    command.second += error;
    ++figures.returnCodes[std::stoul(cell(6).substr(1), nullptr, 16)];
    for (size_t key = 0; key < figures.keys.size(); ++key) {
      // Ports are decimal cells, sessions "x" and hex.
      const std::string text = cell(7 + key);
      auto& value =
          figures
              .keys[key][key % 2 == 0 ? std::stoul(text) : std::stoul(text.substr(1), nullptr, 16)];
      ++value.first;
      value.second += error;
    }
    ++figures.seconds[std::string(iso, 19)];
  }
  return figures;
}

void expectSummaryOfTable(const Json& json, const TableFigures& table) {
  const Json& events = json.at("events");
  EXPECT_EQ(events.at("count"), table.events);
  EXPECT_EQ(events.at("errors"), table.errors);
  if (table.events == 0) return;
  EXPECT_EQ(events.at("first_time"), table.firstTime);
  EXPECT_EQ(events.at("last_time"), table.lastTime);
  EXPECT_EQ(events.at("span_ms"), table.lastMs - table.firstMs);
  EXPECT_EQ(events.at("back_steps"), table.backSteps);
  uint64_t busiest = 0;
  std::string busiestSecond;
  for (const auto& [second, count] : table.seconds) {
    if (count > busiest) busiest = count, busiestSecond = second;
  }
  EXPECT_EQ(events.at("busiest_second").at("events"), busiest);
  EXPECT_EQ(events.at("busiest_second").at("time"), busiestSecond);

  std::map<std::string, std::pair<uint64_t, uint64_t>> commands;
  for (const Json& command : json.at("commands")) {
    auto& counted = commands[command.at("cmd").get<std::string>()];
    counted.first += command.at("count").get<uint64_t>();
    counted.second += command.at("errors").get<uint64_t>();
  }
  EXPECT_EQ(commands, table.commands);
  std::map<unsigned, uint64_t> returnCodes;
  for (const Json& rc : json.at("return_codes")) returnCodes[rc.at("rc")] = rc.at("count");
  EXPECT_EQ(returnCodes, table.returnCodes);
  const Json keys[] = {json.at("ports").at("PoIn"), json.at("sessions").at("LsnIn"),
                       json.at("ports").at("PoOut"), json.at("sessions").at("LsnOut")};
  for (size_t key = 0; key < table.keys.size(); ++key) {
    EXPECT_EQ(keys[key].at("distinct"), table.keys[key].size());
    for (const Json& busiest : keys[key].at("busiest")) {
      const auto& counted = table.keys[key].at(busiest.at("value").get<unsigned>());
      EXPECT_EQ(busiest.at("count"), counted.first);
      EXPECT_EQ(busiest.at("errors"), counted.second);
    }
  }
}

// The text fields of the writer's headers, as the summary shows them.
std::string headerText(unsigned version) {
  return "02 TRC    0000" + std::to_string(version) + ".000 01 Ortavi QNV trace";
}

uint32_t firstEventStampOf(const field::Bytes& trace) {
  MemoryByteSource source(trace.data(), trace.size());
  HeaderRead header;
  EXPECT_FALSE(readTraceHeader(source, header));
  return header.header.firstEventStamp();
}

struct LookRun {
  testing::RunResult info;  // -o with --info=json
  testing::RunResult test;  // --test
  std::string table;
};

LookRun look(const field::Bytes& trace, const std::vector<std::string>& options) {
  testing::TempDir work;
  testing::writeFile(work.file("T.QNV"), trace);
  std::vector<std::string> info{"-iT.QNV", "-oOUT.XLS", "--info=json"};
  std::vector<std::string> test{"-iT.QNV", "--test"};
  info.insert(info.end(), options.begin(), options.end());
  test.insert(test.end(), options.begin(), options.end());
  LookRun run{testing::runQnvtab(info, work.path()), testing::runQnvtab(test, work.path()), ""};
  run.table = testing::readFile(work.file("OUT.XLS"));
  return run;
}

// The summary's figures are the table's, whatever the trace, its damage,
// salvage and the selection; --test ends as the conversion of the whole
// trace ends, with nothing on standard output.
TEST(Look, SummaryAgreesWithTheTableAndTestWithTheConversion) {
  const std::vector<std::vector<std::string>> optionSets = {
      {}, {"--salvage"}, {"--salvage", "--cmd=SD,RV,33,DB", "--events=20-60"}, {"--errors"}};
  std::set<unsigned> versions;
  for (uint64_t seed = 1; seed <= 8; ++seed) {
    const field::FieldTrace trace = field::makeFieldTrace(seed);
    versions.insert(trace.version);
    const uint32_t firstStamp = firstEventStampOf(trace.bytes);
    for (size_t kind = 0; kind <= field::kDamageKinds; ++kind) {
      const bool sound = kind == field::kDamageKinds;
      const field::DamagedTrace damaged =
          sound ? field::DamagedTrace{trace.bytes, {}, {}, false, 0}
                : field::damageTrace(trace, static_cast<field::Damage>(kind), seed);
      for (const std::vector<std::string>& options : optionSets) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " version " + std::to_string(trace.version) +
                     ", " +
                     (sound ? "sound" : field::damageName(static_cast<field::Damage>(kind))) +
                     (options.empty() ? "" : ", " + options[0]));
        const LookRun run = look(damaged.bytes, options);
        EXPECT_EQ(run.test.status, run.info.status);
        EXPECT_EQ(run.test.out, "");
        // A look reads the whole trace, also past the last event selected.
        if (options.size() > 0 && options[0] == "--salvage") {
          EXPECT_EQ(run.info.status, damaged.expectedStatus);
        }
        const size_t summaryAt = run.info.out.find("{\n");
        if (summaryAt == std::string::npos) {
          EXPECT_NE(run.info.status, 0);  // no header: nothing to summarise
          continue;
        }
        const Json json = Json::parse(run.info.out.substr(summaryAt));
        EXPECT_EQ(json.at("integrity").at("sound"), run.info.status == 0);
        expectSummaryOfTable(json, figuresOf(run.table, trace.version, firstStamp));
        if (sound) {
          EXPECT_EQ(json.at("trace").at("text"), headerText(trace.version));
        }
      }
    }
  }
  EXPECT_EQ(versions.size(), 4u);  // 5 to 8
}

// The text summary follows the completion message with -o, and stands
// alone without it; --test with -o contradicts itself.
TEST(Look, TextSummaryAndTheCommandLine) {
  const field::FieldTrace trace = field::makeFieldTrace(3);
  testing::TempDir work;
  testing::writeFile(work.file("T.QNV"), trace.bytes);
  const testing::RunResult alone = testing::runQnvtab({"-iT.QNV", "--INFO"}, work.path());
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.out.rfind("file:         T.QNV\n", 0), 0u) << alone.out;
  EXPECT_NE(alone.out.find("\nheader text:  " + headerText(trace.version) + "\n"),
            std::string::npos);
  EXPECT_NE(alone.out.find("integrity:    sound\n"), std::string::npos);
  EXPECT_NE(alone.out.find("events:       " + std::to_string(trace.events()) + ", "),
            std::string::npos);
  const testing::RunResult withTable =
      testing::runQnvtab({"-iT.QNV", "-oOUT.XLS", "--info=text"}, work.path());
  EXPECT_EQ(withTable.out, testing::successText("T.QNV", "OUT.XLS") + alone.out);

  // Commands 0 to 29, command c in c + 1 events, each a return code of
  // its own: the text shows the busiest 20 of each and counts the rest.
  std::vector<builder::EventSpec> events;
  for (uint8_t code = 0; code < 30; ++code) {
    for (int copy = 0; copy <= code; ++copy) {
      builder::EventSpec& event = events.emplace_back();
      event.timeStamp = static_cast<uint32_t>(events.size());
      event.cmd = code;
      event.rc = code;
    }
  }
  builder::TraceSpec plan;
  testing::writeFile(work.file("MANY.QNV"),
                     builder::buildTrace(plan, builder::encodeEvents(events, 8)).bytes);
  const std::string many = testing::runQnvtab({"-iMANY.QNV", "--info"}, work.path()).out;
  EXPECT_NE(many.find("\ncommand      events     errors     data bytes\n1D               30 "),
            std::string::npos)
      << many;
  EXPECT_NE(many.find("\n0A               11 "), std::string::npos);
  EXPECT_EQ(many.find("\n09               10 "), std::string::npos);
  EXPECT_NE(many.find("\n... and 10 more commands\n\nreturn code  events\nx1D              30\n"),
            std::string::npos);
  EXPECT_NE(many.find("\nx0A              11\n... and 10 more return codes\n"), std::string::npos);

  const testing::RunResult contradiction =
      testing::runQnvtab({"-iT.QNV", "--test", "-oOUT.XLS"}, work.path());
  EXPECT_EQ(contradiction.status, 2);
  EXPECT_EQ(testing::runQnvtab({"-iT.QNV", "--info=xml"}, work.path()).status, 2);
  EXPECT_EQ(testing::runQnvtab({"-iT.QNV", "--report="}, work.path()).status, 2);
  const testing::RunResult sameFile =
      testing::runQnvtab({"-iT.QNV", "-oOUT.XLS", "--report=./OUT.XLS"}, work.path());
  EXPECT_EQ(sameFile.status, 1);
  EXPECT_EQ(sameFile.err, "qnvtab: ./OUT.XLS: cannot open: the report is the output file\n");
  const testing::RunResult full =
      testing::runQnvtab({"-iT.QNV", "--report=/dev/full"}, work.path());
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "qnvtab: /dev/full: cannot write: No space left on device\n");
}

}  // namespace
}  // namespace qnvtab
