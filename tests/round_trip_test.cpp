// Random events of every trace version go into real traces (stored,
// compressed and mixed blocks of several sizes); the converted table is read
// back by a decoder written here from the table's rules alone, and every
// field of every row must give back what was put in.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "table/cell_format.h"
#include "event_mix.h"
#include "harness.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using qnvtab::testing::split;

using builder::BlockMode;
using builder::Bytes;
using builder::EventSpec;

// What the table must show, known from how the trace was built.
struct TraceFacts {
  unsigned version = 8;
  bool hasFirstEvent = true;  // versions 7 and 8
  TraceDate firstEventDate{};
  TraceTime firstEventTime{};
  uint32_t firstEventStamp = 0;
  uint32_t referenceStamp = 0;  // subtracted for the Time (msec) cell
};

const std::pair<uint8_t, const char*> kMnemonics[] = {
    {0x01, "PC"}, {0x02, "PH"}, {0x10, "CL"}, {0x11, "LI"}, {0x12, "HG"}, {0x14, "SD"},
    {0x15, "RV"}, {0x35, "CN"}, {0x60, "DG"}, {0x62, "ST"}, {0x64, "MT"}, {0x65, "DB"},
    {0x68, "TS"}, {0x70, "GE"}, {0x71, "PE"}, {0x72, "ER"},
};

// ---- Expected date and time, from std::chrono's civil calendar.

int64_t secondsSince1980(const TraceDate& date, const TraceTime& time) {
  using namespace std::chrono;
  const sys_days day = sys_days{year{static_cast<int>(date.year)} / month{date.month} / date.day};
  const int64_t days = (day - sys_days{year{1980} / January / 1}).count();
  return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

std::string twoDigits(long value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02ld", value);
  return text;
}

// "DDMMYY HHMMSS" of an event.
std::string expectedDateAndTime(const TraceFacts& facts, uint32_t stamp) {
  int64_t seconds = 0;
  const uint32_t distance = stamp - facts.firstEventStamp;
  if (facts.hasFirstEvent) {
    const int64_t signedDistance = static_cast<int32_t>(distance);
    int64_t whole = signedDistance / 1000;
    if (signedDistance % 1000 < 0) --whole;
    seconds = secondsSince1980(facts.firstEventDate, facts.firstEventTime) + whole;
  } else {
    seconds = distance / 1000;
  }
  seconds &= 0xFFFFFFFF;
  using namespace std::chrono;
  const sys_seconds point = sys_days{year{1980} / January / 1} + std::chrono::seconds{seconds};
  const sys_days day = floor<days>(point);
  const year_month_day date{day};
  const hh_mm_ss clock{point - day};
  return twoDigits(static_cast<unsigned>(date.day())) + twoDigits(static_cast<unsigned>(date.month())) +
         twoDigits(static_cast<int>(date.year()) % 100) + " " + twoDigits(clock.hours().count()) +
         twoDigits(clock.minutes().count()) + twoDigits(clock.seconds().count());
}

// ---- A strict reader of the table's cells.

bool isDigits(const std::string& text, size_t from = 0) {
  if (text.size() <= from) return false;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool parseDecimal(const std::string& text, int64_t& value) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!isDigits(text, negative ? 1 : 0)) return false;
  if (text.size() > 1 + (negative ? 1u : 0u) && text[negative ? 1 : 0] == '0') return false;  // no padding
  value = std::stoll(text);
  return true;
}

// `digits` upper-case hexadecimal digits exactly.
bool parseHexDigits(const std::string& text, size_t digits, uint32_t& value) {
  if (text.size() != digits) return false;
  value = 0;
  for (char c : text) {
    const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (nibble < 0) return false;
    value = value * 16 + static_cast<uint32_t>(nibble);
  }
  return true;
}

// A quoted cell as a TSV reader reads it: outer quotes removed, each pair of
// quotes inside read as one quote; a lone quote inside is an error.
bool unquote(const std::string& cell, std::string& text) {
  if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return false;
  text.clear();
  for (size_t i = 1; i + 1 < cell.size(); ++i) {
    if (cell[i] == '"') {
      if (i + 2 >= cell.size() || cell[i + 1] != '"') return false;
      ++i;
    }
    text += cell[i];
  }
  return true;
}

bool quotedHex(const std::string& cell, size_t digits, uint32_t& value) {
  std::string text;
  return unquote(cell, text) && text.size() == digits + 1 && text[0] == 'x' &&
         parseHexDigits(text.substr(1), digits, value);
}

bool printable(int byte) { return byte >= 0x20 && byte <= 0x7E; }

// A dump cell read back into bytes; -1 stands for a '.' of the character
// column (a byte that is not printable, or a full stop).
struct Dump {
  std::vector<int> bytes;
  bool cut = false;  // ended with " ..."
};

bool readDump(const std::string& cell, PayloadMode mode, Dump& dump) {
  std::string text;
  if (!unquote(cell, text)) return false;
  dump = {};
  const std::string marker = " ...";
  if (text.size() >= marker.size() && text.compare(text.size() - marker.size(), marker.size(), marker) == 0) {
    dump.cut = true;
    text.resize(text.size() - marker.size());
  }
  const size_t width = mode == PayloadMode::Characters ? 1 : 2;
  if (text.empty()) return true;
  if ((text.size() + 1) % (width + 1) != 0) return false;
  for (size_t at = 0; at < text.size(); at += width + 1) {
    if (at + width < text.size() && text[at + width] != ' ') return false;
    const std::string unit = text.substr(at, width);
    uint32_t value = 0;
    if (mode == PayloadMode::Hex) {
      if (!parseHexDigits(unit, 2, value)) return false;
      dump.bytes.push_back(static_cast<int>(value));
    } else if (mode == PayloadMode::Ascii) {
      if (unit[0] == ' ') {
        if (!printable(static_cast<unsigned char>(unit[1]))) return false;
        dump.bytes.push_back(static_cast<unsigned char>(unit[1]));
      } else {
        if (!parseHexDigits(unit, 2, value) || printable(static_cast<int>(value))) return false;
        dump.bytes.push_back(static_cast<int>(value));
      }
    } else {
      if (!printable(static_cast<unsigned char>(unit[0]))) return false;
      dump.bytes.push_back(unit[0] == '.' ? -1 : static_cast<unsigned char>(unit[0]));
    }
  }
  return true;
}


// Checks one row against its event; returns what is wrong, or nothing.
std::string checkRow(const std::string& row, int64_t number, const EventSpec& event,
                     const TraceFacts& facts, DataFormat format) {
  const std::vector<std::string> cells = split(row, "\t");
  const size_t dumps = event.data.empty() ? 0 : format == DataFormat::HexAscii ? 2 : 1;
  if (cells.size() != 14 + (dumps == 0 ? 1 : dumps)) return "cell count " + std::to_string(cells.size());
  if (dumps == 0 && !cells[14].empty()) return "text after the last TAB of an event without data";

  int64_t value = 0;
  uint32_t hex = 0;
  std::string text;
  if (!parseDecimal(cells[0], value) || value != number) return "Event";
  if (!parseDecimal(cells[1], value) || value != static_cast<int32_t>(event.timeStamp - facts.referenceStamp)) {
    return "Time (msec)";
  }
  if (cells[2] + " " + cells[3] != expectedDateAndTime(facts, event.timeStamp)) {
    return "Date and Local Time, expected " + expectedDateAndTime(facts, event.timeStamp);
  }
  if (!unquote(cells[4], text)) return "Cmd quoting";
  int command = -1;
  for (const auto& [code, mnemonic] : kMnemonics) {
    if (text == mnemonic) command = code;
  }
  // "DB" is both DEBUG's mnemonic and the hexadecimal text of the unknown
  // code 0xDB: the table cannot tell them apart.
  if (text == "DB" && event.cmd == 0xDB) command = 0xDB;
  if (command < 0) {
    if (!parseHexDigits(text, 2, hex)) return "Cmd";
    for (const auto& entry : kMnemonics) {
      if (entry.first == hex) return "Cmd in hexadecimal although it has a mnemonic";
    }
    command = static_cast<int>(hex);
  }
  if (command != event.cmd) return "Cmd value";
  if (!unquote(cells[5], text) || text != (event.rc == 0xFF ? "I" : "P")) return "S";
  if (!quotedHex(cells[6], 2, hex) || hex != event.rc) return "RC";
  if (!parseDecimal(cells[7], value) || value != event.poIn) return "PoIn";
  const size_t lsnDigits = facts.version == 5 ? 2 : 4;
  const uint32_t lsnMask = facts.version == 5 ? 0xFF : 0xFFFF;
  if (!quotedHex(cells[8], lsnDigits, hex) || hex != (event.lsnIn & lsnMask)) return "LsnIn";
  if (!parseDecimal(cells[9], value) || value != event.poOut) return "PoOut";
  if (!quotedHex(cells[10], lsnDigits, hex) || hex != (event.lsnOut & lsnMask)) return "LsnOut";
  if (!quotedHex(cells[11], 2, hex) || hex != event.info) return "Info";
  if (!parseDecimal(cells[12], value) || value != event.length) return "Length";
  if (cells[13].size() != 9 || cells[13][0] != 'x' || !parseHexDigits(cells[13].substr(1), 8, hex) ||
      hex != event.bufferAddress) {
    return "BufferAddress";
  }
  if (dumps == 0) return "";

  const size_t shown = std::min<size_t>(event.length, event.data.size());
  const bool cut = shown < event.length;
  const std::vector<PayloadMode> modes =
      format == DataFormat::Hex     ? std::vector<PayloadMode>{PayloadMode::Hex}
      : format == DataFormat::Ascii ? std::vector<PayloadMode>{PayloadMode::Ascii}
                                    : std::vector<PayloadMode>{PayloadMode::Hex, PayloadMode::Characters};
  for (size_t i = 0; i < modes.size(); ++i) {
    Dump dump;
    const std::string which = "BufferContent " + std::to_string(i + 1);
    if (!readDump(cells[14 + i], modes[i], dump)) return which + " unreadable";
    if (dump.cut != cut) return which + " shortfall marker";
    if (dump.bytes.size() != shown) return which + " byte count";
    for (size_t k = 0; k < shown; ++k) {
      const int expected = modes[i] == PayloadMode::Characters && (!printable(event.data[k]) || event.data[k] == '.')
                               ? -1
                               : event.data[k];
      if (dump.bytes[k] != expected) return which + " byte " + std::to_string(k);
    }
  }
  return "";
}

const char kTitleLine[] =
    "\"Event\"\t\"Time (msec)\"\t\"Date\"\t\"Local Time\"\t\"Cmd\"\t\"S\"\t\"RC\"\t\"PoIn\"\t"
    "\"LsnIn\"\t\"PoOut\"\t\"LsnOut\"\t\"Info\"\t\"Length\"\t\"BufferAddress\"\t";

void checkTable(const std::string& table, const std::vector<EventSpec>& events, const TraceFacts& facts,
                DataFormat format) {
  std::vector<std::string> rows = split(table, "\r\n");
  ASSERT_EQ(rows.back(), "") << "the table does not end with a line end";
  rows.pop_back();
  ASSERT_EQ(rows.size(), events.size() + 1);
  EXPECT_EQ(rows[0], std::string(kTitleLine) + (format == DataFormat::HexAscii
                                                    ? "\"BufferContent (Hex)\"\t\"BufferContent (Ascii)\""
                                                    : "\"BufferContent\""));
  for (size_t i = 0; i < events.size(); ++i) {
    const std::string fault = checkRow(rows[i + 1], static_cast<int64_t>(i + 1), events[i], facts, format);
    ASSERT_EQ(fault, "") << "row " << i + 1 << ": " << rows[i + 1];
  }
}

// ---- Building and converting.

struct Layout {
  BlockMode mode;
  uint16_t blockSize;
  size_t chunkSize;  // 0: whole blocks
};

class RoundTrip : public ::testing::TestWithParam<unsigned> {};

TEST_P(RoundTrip, EveryFieldOfEveryRowComesBack) {
  const unsigned version = GetParam();
  const Layout layouts[] = {
      {BlockMode::Stored, 512, 0},
      {BlockMode::Compressed, 4096, 0},
      {BlockMode::Alternating, 1024, 700},
  };
  builder::EventMix dates(version * 1000);
  for (size_t l = 0; l < std::size(layouts); ++l) {
    const Layout& layout = layouts[l];
    SCOPED_TRACE("version " + std::to_string(version) + ", layout " + std::to_string(l));
    builder::EventMixOptions mixOptions;
    mixOptions.wideLsn = version != 5;
    // One trace's stamps run through 2^32 and back to 0.
    mixOptions.firstStamp = l == 1 ? 0xFFFFFFFFu - 2500 : dates.below(1u << 30);
    const std::vector<EventSpec> events = builder::makeEventMix(version * 100 + l, 1500, mixOptions);

    TraceFacts facts;
    facts.version = version;
    facts.hasFirstEvent = version >= 7;
    builder::TraceSpec plan;
    plan.header.version = version;
    plan.blockSize = layout.blockSize;
    plan.chunkSize = layout.chunkSize;
    plan.mode = layout.mode;
    plan.compressionLevel = 1 + static_cast<int>(l) * 4;
    if (facts.hasFirstEvent) {
      const unsigned year = 1980 + dates.below(120);
      const unsigned month = 1 + dates.below(12);
      plan.header.firstEventDate = {1 + dates.below(28), month, year};
      plan.header.firstEventTime = {dates.below(24), dates.below(60), dates.below(60)};
      // Some events come before the one the header names as the first.
      plan.header.firstEventStamp = mixOptions.firstStamp + dates.below(4000);
      facts.firstEventDate = plan.header.firstEventDate;
      facts.firstEventTime = plan.header.firstEventTime;
      facts.firstEventStamp = plan.header.firstEventStamp;
    }
    const Bytes trace = builder::buildTrace(plan, builder::encodeEvents(events, version)).bytes;

    // Relative times are asked for on every other trace; old versions
    // switch the option off.
    const bool ferts = l % 2 == 1;
    facts.referenceStamp = ferts && facts.hasFirstEvent ? facts.firstEventStamp : 0;
    for (DataFormat format : {DataFormat::Hex, DataFormat::Ascii, DataFormat::HexAscii}) {
      SCOPED_TRACE("format " + std::to_string(static_cast<int>(format)));
      RowOptions options;
      options.dataFormat = format;
      options.timesRelativeToFirstEvent = ferts;
      const testing::InProcessConversion conversion = testing::convertInProcess(trace, options);
      const ConversionOutcome& outcome = conversion.outcome;
      ASSERT_FALSE(outcome.fault || outcome.writeFailed);
      EXPECT_EQ(outcome.events, static_cast<int32_t>(events.size()));
      EXPECT_EQ(outcome.droppedBytes, 0u);
      EXPECT_EQ(outcome.optionsSwitchedOff, ferts && !facts.hasFirstEvent);
      checkTable(conversion.table, events, facts, format);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTrip, ::testing::Values(5u, 6u, 7u, 8u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return "Version" + std::to_string(info.param);
                         });

// The same through the real binary: its file is the in-process table byte
// for byte, and reads back the same.
TEST(RoundTripBinary, FileMatchesTheEventsPutIn) {
  builder::EventMixOptions mixOptions;
  mixOptions.largeContentOneIn = 4;
  const std::vector<EventSpec> events = builder::makeEventMix(2008, 800, mixOptions);
  builder::TraceSpec plan;
  plan.blockSize = 700;
  plan.mode = BlockMode::Alternating;
  plan.header.firstEventStamp = mixOptions.firstStamp + 1234;
  const Bytes trace = builder::buildTrace(plan, builder::encodeEvents(events, 8)).bytes;
  TraceFacts facts;
  facts.firstEventDate = plan.header.firstEventDate;
  facts.firstEventTime = plan.header.firstEventTime;
  facts.firstEventStamp = plan.header.firstEventStamp;
  facts.referenceStamp = facts.firstEventStamp;

  testing::TempDir dir;
  const std::string input = dir.file("mix.qnv");
  const std::string output = dir.file("mix.xls");
  testing::writeFile(input, trace);
  const testing::RunResult run = testing::runQnvtab({"-i" + input, "-o" + output, "-dHA", "-ferts"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, testing::successText(input, output));
  const std::string table = testing::readFile(output);
  checkTable(table, events, facts, DataFormat::HexAscii);

  RowOptions options;
  options.dataFormat = DataFormat::HexAscii;
  options.timesRelativeToFirstEvent = true;
  EXPECT_EQ(testing::convertInProcess(trace, options).table, table);
}

// The generator is the same for a seed, whatever the platform.
TEST(EventMix, SameSeedSameEventsAndEveryKindOfEvent) {
  const std::vector<EventSpec> a = builder::makeEventMix(7, 3000);
  const std::vector<EventSpec> b = builder::makeEventMix(7, 3000);
  EXPECT_EQ(builder::encodeEvents(a, 8), builder::encodeEvents(b, 8));
  EXPECT_NE(builder::encodeEvents(a, 8), builder::encodeEvents(builder::makeEventMix(8, 3000), 8));
  std::vector<bool> commands(256);
  size_t failed = 0, empty = 0, large = 0, longer = 0, shorter = 0, quotes = 0, binary = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const EventSpec& e = a[i];
    commands[e.cmd] = true;
    failed += e.rc == 0xFF;
    empty += e.data.empty();
    large += e.data.size() > 64;
    longer += e.length > e.data.size();
    shorter += e.length < e.data.size();
    for (uint8_t byte : e.data) {
      quotes += byte == '"';
      binary += !printable(byte);
    }
    EXPECT_LE(e.data.size(), 300u);
    if (i > 0) {
      EXPECT_GE(e.timeStamp, a[i - 1].timeStamp);
      EXPECT_LE(e.timeStamp - a[i - 1].timeStamp, 9u);
    }
  }
  EXPECT_EQ(a[0].timeStamp, 1000u);
  for (const auto& entry : kMnemonics) EXPECT_TRUE(commands[entry.first]) << int(entry.first);
  size_t unknown = 0;
  for (unsigned code = 0; code < 256; ++code) unknown += commands[code];
  EXPECT_GT(unknown, std::size(kMnemonics) + 20);
  for (size_t count : {failed, empty, large, longer, shorter, quotes, binary}) EXPECT_GT(count, 20u);
}

}  // namespace
}  // namespace qnvtab
