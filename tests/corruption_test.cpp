// Damaged traces: every single-bit flip and every truncation of small traces
// of each format version, stored and compressed, and footers that do not
// match their blocks. Whatever the damage, a run ends with the intact table
// or with an input fault after whole rows of it; never with other rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/diagnosis.h"
#include "cli/salvage_report.h"
#include "harness.h"
#include "table_fixtures.h"
#include "trace/trace_version.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::Trace;

constexpr uint16_t kBlockSize = 64;

enum class ConversionStatus { Converted, InputFault, Other };

struct Outcome {
  ConversionStatus status = ConversionStatus::Other;
  std::string table;
};

// One whole conversion in this process.
Outcome convertBytes(const uint8_t* bytes, size_t size) {
  testing::InProcessConversion conversion = testing::convertInProcess(Bytes(bytes, bytes + size));
  const ConversionOutcome& outcome = conversion.outcome;
  Outcome result;
  if (!outcome.writeFailed && !outcome.fault) {
    result.status = ConversionStatus::Converted;
  } else if (!outcome.writeFailed && outcome.fault->kind != FaultKind::OutOfMemory) {
    result.status = ConversionStatus::InputFault;
  }
  result.table = std::move(conversion.table);
  return result;
}

size_t lineCount(const std::string& table) {
  size_t lines = 0;
  for (size_t at = table.find("\r\n"); at != std::string::npos; at = table.find("\r\n", at + 2)) {
    ++lines;
  }
  return lines;
}

// Whole rows of the intact table: nothing, or its start up to a line end.
bool isWholeRowPrefix(const std::string& table, const std::string& intact) {
  if (table.empty()) return true;
  return table.size() <= intact.size() && intact.compare(0, table.size(), table) == 0 &&
         table.compare(table.size() - 2, 2, "\r\n") == 0;
}

// A few events whose records straddle the 64-byte blocks; text payloads so
// that blocks shrink when compressed.
Bytes eventStream(unsigned version, size_t events) {
  std::vector<builder::EventSpec> eventList;
  for (unsigned i = 0; i < events; ++i) {
    builder::EventSpec event;
    event.timeStamp = 1000 + 250 * i;
    event.cmd = static_cast<uint8_t>(0x10 + i);
    event.rc = i == 3 ? 0xFF : 0;
    event.poIn = static_cast<uint16_t>(i + 1);
    event.lsnIn = static_cast<uint16_t>(0x20 + i);
    event.bufferAddress = 0x2C00 + 0x40 * i;
    const size_t size = (i * 17) % 45;
    for (size_t k = 0; k < size; ++k)
      event.data.push_back(static_cast<uint8_t>("LISTEN "[k / 8 % 7]));
    event.length = static_cast<uint16_t>(size);
    eventList.push_back(event);
  }
  return builder::encodeEvents(eventList, version);
}

Trace smallTrace(unsigned version, bool compressed, size_t events) {
  builder::TraceSpec shape;
  shape.header.version = version;
  shape.blockSize = kBlockSize;
  shape.mode = compressed ? builder::BlockMode::Compressed : builder::BlockMode::Stored;
  return builder::buildTrace(shape, eventStream(version, events));
}

struct SweepCase {
  unsigned version;
  bool compressed;
};

std::string caseName(const ::testing::TestParamInfo<SweepCase>& info) {
  return "Version" + std::to_string(info.param.version) +
         (info.param.compressed ? "Compressed" : "Stored");
}

class CorruptionSweep : public ::testing::TestWithParam<SweepCase> {
 protected:
  void SetUp() override {
    // Compressed blocks are smaller, so the compressed traces carry more
    // events for a similar file size.
    const size_t events = GetParam().compressed ? 10 : 7;
    trace_ = smallTrace(GetParam().version, GetParam().compressed, events);
    ASSERT_GE(trace_.blockOffsets.size(), 4u);
    for (uint8_t stored : trace_.blockStored) ASSERT_EQ(stored != 0, !GetParam().compressed);
    ASSERT_LE(trace_.bytes.size(), 600u) << trace_.blockOffsets.size() << " blocks";
    const Outcome intact = convertBytes(trace_.bytes.data(), trace_.bytes.size());
    ASSERT_EQ(intact.status, ConversionStatus::Converted);
    ASSERT_EQ(lineCount(intact.table), 1 + events);
    intactTable_ = intact.table;
  }

  // Bit 15 of a block header's first word: no checksum covers it.
  bool isStoredFlag(size_t bit) const {
    for (size_t offset : trace_.blockOffsets) {
      if (bit == (offset + 1) * 8 + 7) return true;
    }
    return false;
  }

  Trace trace_;
  std::string intactTable_;
};

TEST_P(CorruptionSweep, EverySingleBitFlip) {
  Bytes bytes = trace_.bytes;
  std::vector<std::string> wrong;
  size_t faults = 0;
  size_t faultsAfterRows = 0;
  for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
    builder::flipBit(bytes, bit);
    const Outcome outcome = convertBytes(bytes.data(), bytes.size());
    builder::flipBit(bytes, bit);
    const std::string where =
        "bit " + std::to_string(bit % 8) + " of byte " + std::to_string(bit / 8);
    if (isStoredFlag(bit)) {
      if (outcome.status != ConversionStatus::Converted &&
          outcome.status != ConversionStatus::InputFault) {
        wrong.push_back(where + " (stored flag): neither converted nor an input fault");
      }
      continue;
    }
    if (outcome.status == ConversionStatus::InputFault) {
      ++faults;
      if (lineCount(outcome.table) > 1) ++faultsAfterRows;
      if (!isWholeRowPrefix(outcome.table, intactTable_)) {
        wrong.push_back(where + ": input fault after rows that are not the intact ones");
      }
    } else if (outcome.status != ConversionStatus::Converted) {
      wrong.push_back(where + ": neither converted nor an input fault");
    } else if (outcome.table != intactTable_) {
      wrong.push_back(where + ": converted to a table other than the intact one");
    }
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " flips misjudged, first: " << wrong.front();
  // Every byte of these files is checked by some checksum or test.
  EXPECT_EQ(faults, bytes.size() * 8 - trace_.blockOffsets.size());
  EXPECT_GT(faultsAfterRows, 0u) << "no flip reached past the first rows";
}

TEST_P(CorruptionSweep, EveryTruncation) {
  std::vector<std::string> wrong;
  for (size_t size = 0; size < trace_.bytes.size(); ++size) {
    const Outcome outcome = convertBytes(trace_.bytes.data(), size);
    if (outcome.status != ConversionStatus::InputFault ||
        !isWholeRowPrefix(outcome.table, intactTable_)) {
      wrong.push_back("cut to " + std::to_string(size) + " bytes");
    }
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " truncations misjudged, first: " << wrong.front();
}

// Everything a conversion tells: the table, the fault with its text, the
// events, the dropped bytes, and with salvage every incident and the summary.
std::string everythingTold(const testing::InProcessConversion& run) {
  const ConversionOutcome& outcome = run.outcome;
  std::string told = run.table + "\n";
  if (outcome.fault) told += describeFault(*outcome.fault) + "\n";
  for (const Incident& incident : run.incidents) told += describeIncident(incident) + "\n";
  told += describeSalvage(outcome.salvage, outcome.events) + "\n";
  return told + std::to_string(outcome.events) + " events, " +
         std::to_string(outcome.droppedBytes) + " bytes dropped" +
         (outcome.writeFailed ? ", write failed" : "");
}

// Many more threads than cores on blocks of 64 bytes: damaged copies (a
// seventh of the bit flips, a third of the cuts), strict and salvaged, in
// several data formats, tell exactly what the serial path tells.
TEST_P(CorruptionSweep, ThreadsTellExactlyWhatOneThreadTells) {
  // The thread counts are its own: once is enough.
  if (testing::suiteThreads() > 1) GTEST_SKIP();
  const std::vector<std::pair<RowOptions, bool>> runs = {
      {{}, false}, {{true, true, DataFormat::HexAscii}, false}, {{}, true}};
  std::vector<Bytes> copies;
  Bytes bytes = trace_.bytes;
  for (size_t bit = 0; bit < bytes.size() * 8; bit += 7) {
    builder::flipBit(bytes, bit);
    copies.push_back(bytes);
    builder::flipBit(bytes, bit);
  }
  for (size_t size = 0; size < bytes.size(); size += 3) {
    copies.emplace_back(bytes.begin(), bytes.begin() + size);
  }
  WorkerPool none(0);
  WorkerPool many(16);
  size_t compared = 0;
  for (const Bytes& copy : copies) {
    for (const auto& [options, salvage] : runs) {
      const std::string serial =
          everythingTold(testing::convertInProcess(copy, options, salvage, &none));
      const std::string threaded =
          everythingTold(testing::convertInProcess(copy, options, salvage, &many));
      ASSERT_EQ(threaded, serial) << "copy " << compared / runs.size() << " of " << copies.size();
      ++compared;
    }
  }
}

// What salvage must give for one damaged copy, and what it gave.
struct SalvageTally {
  size_t intactEvents = 0;
  size_t recovered = 0;
  size_t invented = 0;
  size_t unrecognised = 0;  // damage that leaves no trace to recognise
  std::vector<std::string> wrong;
};

class SalvageSweep : public CorruptionSweep {
 protected:
  void SetUp() override {
    CorruptionSweep::SetUp();
    const layout::EventHeadLayout& head = TraceVersion{static_cast<uint16_t>(GetParam().version)}.eventHead();
    const Bytes stream = eventStream(GetParam().version, lineCount(intactTable_) - 1);
    for (size_t at = 0; at < stream.size(); at += head.size + loadU16(&stream[at + head.contentLength])) {
      eventStarts_.push_back(at);
    }
    eventStarts_.push_back(stream.size());
  }

  // The events whose stream bytes all lie in intact blocks; block i holds
  // the stream bytes from i * kBlockSize on.
  std::vector<bool> intactEvents(const std::vector<bool>& intactBlocks) const {
    std::vector<bool> intact;
    for (size_t e = 0; e + 1 < eventStarts_.size(); ++e) {
      bool whole = true;
      for (size_t b = eventStarts_[e] / kBlockSize; b <= (eventStarts_[e + 1] - 1) / kBlockSize; ++b) {
        whole = whole && intactBlocks[b];
      }
      intact.push_back(whole);
    }
    return intact;
  }

  // Salvage must give exactly the intact rows of the intact events, in
  // order and numbered from 1, or fail only where `mayFail`.
  void expectSalvage(const Bytes& damaged, const std::vector<bool>& intactBlocks, bool header,
                     bool mayFail, const std::string& where, SalvageTally& tally) const {
    const testing::InProcessConversion run = testing::convertInProcess(damaged, {}, true);
    const std::vector<std::string> intactRows = testing::rowsWithout(intactTable_, header);
    const std::vector<bool> intact = intactEvents(intactBlocks);
    std::vector<std::string> expected;
    for (size_t e = 0; e < intact.size(); ++e) {
      if (intact[e]) expected.push_back(intactRows[e]);
    }
    if (run.outcome.fault) {
      if (!mayFail && !expected.empty()) tally.wrong.push_back(where + ": failed");
      ++tally.unrecognised;
      return;
    }
    tally.intactEvents += expected.size();
    const std::vector<std::string> rows = testing::rowsWithout(run.table, header);
    size_t next = 0;
    for (const std::string& row : rows) {
      while (next < expected.size() && expected[next] != row) ++next;
      if (next == expected.size()) {
        ++tally.invented;
      } else {
        ++tally.recovered;
        ++next;
      }
    }
    if (rows != expected) {
      tally.wrong.push_back(where + ": " + std::to_string(rows.size()) + " rows, expected the " +
                            std::to_string(expected.size()) + " intact ones");
    }
  }

  void report(const SalvageTally& tally, const char* what) const {
    std::printf(
        "salvage of every %s: %zu of %zu intact events recovered, %zu rows invented, %zu copies "
        "not recognised as a trace\n",
        what, tally.recovered, tally.intactEvents, tally.invented, tally.unrecognised);
    EXPECT_TRUE(tally.wrong.empty()) << tally.wrong.size() << " misjudged, first: " << tally.wrong.front();
  }

  std::vector<size_t> eventStarts_;
};

TEST_P(SalvageSweep, EverySingleBitFlip) {
  Bytes bytes = trace_.bytes;
  const size_t blocks = trace_.blockOffsets.size();
  SalvageTally tally;
  for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
    if (isStoredFlag(bit)) continue;
    const size_t byte = bit / 8;
    std::vector<bool> intactBlocks(blocks, true);
    for (size_t b = 0; b < blocks; ++b) {
      const size_t end = b + 1 < blocks ? trace_.blockOffsets[b + 1] : trace_.footerOffset;
      // A number raised by the flip is repaired; a lowered one may be a
      // copy of a block already read, and any other damage loses the block.
      if (byte < trace_.blockOffsets[b] || byte >= end) continue;
      const size_t numberBit = bit - trace_.blockOffsets[b] * 8;
      const bool raised = byte < trace_.blockOffsets[b] + 2 && ((b + 1) >> numberBit & 1) == 0;
      if (!raised) intactBlocks[b] = false;
    }
    builder::flipBit(bytes, bit);
    const bool header = byte < trace_.headerSize;
    expectSalvage(bytes, intactBlocks, header, byte < layout::kTextPrefixSize,
                  "bit " + std::to_string(bit), tally);
    builder::flipBit(bytes, bit);
  }
  report(tally, "bit flip");
}

TEST_P(SalvageSweep, EveryTruncation) {
  const size_t blocks = trace_.blockOffsets.size();
  SalvageTally tally;
  for (size_t size = 0; size < trace_.bytes.size(); ++size) {
    std::vector<bool> intactBlocks(blocks);
    for (size_t b = 0; b < blocks; ++b) {
      const size_t end = b + 1 < blocks ? trace_.blockOffsets[b + 1] : trace_.footerOffset;
      intactBlocks[b] = end <= size;
    }
    expectSalvage(Bytes(trace_.bytes.begin(), trace_.bytes.begin() + size), intactBlocks, false,
                  false, "cut to " + std::to_string(size), tally);
  }
  report(tally, "truncation");
}

const SweepCase kSweepCases[] = {{5, false}, {5, true}, {6, false}, {6, true},
                                 {7, false}, {7, true}, {8, false}, {8, true}};

INSTANTIATE_TEST_SUITE_P(SmallTraces, SalvageSweep, ::testing::ValuesIn(kSweepCases), caseName);

INSTANTIATE_TEST_SUITE_P(SmallTraces, CorruptionSweep, ::testing::ValuesIn(kSweepCases),
                         caseName);

// Footers and records that disagree with the blocks, run through the binary
// for the exit status and the console.

constexpr char kInputFaultText[] = "Invalid input file format or bad input file version!\n";

testing::BinaryConversion convertWithBinary(const Trace& trace) { return testing::convertWithBinary(trace.bytes); }

std::string titleLine(const std::string& table) { return table.substr(0, table.find("\r\n") + 2); }

builder::EventSpec smallEvent(uint32_t stamp, size_t size) {
  builder::EventSpec event;
  event.timeStamp = stamp;
  event.cmd = 0x14;
  event.data.assign(size, 'R');
  event.length = static_cast<uint16_t>(size);
  return event;
}

// The carry-over buffer holds twice the block size: a record longer than
// that can never be completed. The rows before it are written; the run ends
// as an input fault as soon as a block no longer fits behind its bytes, or
// converts without it when the trace ends first.
TEST(DamagedFooterAndRecords, RecordLongerThanTwiceTheBlockSize) {
  for (unsigned version : {5u, 8u}) {
    for (builder::BlockMode mode : {builder::BlockMode::Stored, builder::BlockMode::Compressed}) {
      SCOPED_TRACE("version " + std::to_string(version) +
                   (mode == builder::BlockMode::Stored ? ", stored" : ", compressed"));
      builder::TraceSpec shape;
      shape.header.version = version;
      shape.blockSize = kBlockSize;
      shape.mode = mode;
      const std::vector<builder::EventSpec> before = {smallEvent(1000, 0), smallEvent(1100, 17)};
      const testing::BinaryConversion reference =
          convertWithBinary(builder::buildTrace(shape, builder::encodeEvents(before, version)));
      ASSERT_EQ(reference.run.status, 0);

      std::vector<builder::EventSpec> events = before;
      events.push_back(smallEvent(1200, 2 * kBlockSize + 10));
      events.push_back(smallEvent(1300, 5));
      events.push_back(smallEvent(1400, 5));
      const Bytes stream = builder::encodeEvents(events, version);
      const Trace tooLong = builder::buildTrace(shape, stream);
      if (mode == builder::BlockMode::Compressed) {
        ASSERT_NE(std::count(tooLong.blockStored.begin(), tooLong.blockStored.end(), 0), 0);
      }
      const testing::BinaryConversion failed = convertWithBinary(tooLong);
      EXPECT_EQ(failed.run.status, 1);
      EXPECT_EQ(failed.run.out, kInputFaultText);
      EXPECT_EQ(failed.table, reference.table);

      // Cut inside the long record while it still fits: its bytes are dropped.
      const size_t beforeSize = builder::encodeEvents(before, version).size();
      const Bytes cut(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(beforeSize + 100));
      const testing::BinaryConversion dropped = convertWithBinary(builder::buildTrace(shape, cut));
      EXPECT_EQ(dropped.run.status, 0);
      EXPECT_EQ(dropped.run.out, testing::successText("TRACE.QNV", "OUT.XLS"));
      EXPECT_EQ(dropped.table, reference.table);
    }
  }
}

TEST(DamagedFooterAndRecords, FooterBlockCountsAndSizes) {
  const Trace intact = smallTrace(8, false, 7);
  const testing::BinaryConversion intactRun = convertWithBinary(intact);
  ASSERT_EQ(intactRun.run.status, 0);
  const std::string success = testing::successText("TRACE.QNV", "OUT.XLS");
  const uint16_t blocks = static_cast<uint16_t>(intact.blockOffsets.size());
  const uint32_t dataLength = static_cast<uint32_t>(intact.footerOffset - intact.headerSize);
  const uint32_t firstBlock =
      static_cast<uint32_t>(intact.blockOffsets[1] - intact.blockOffsets[0]);
  const uint32_t firstTwoBlocks =
      static_cast<uint32_t>(intact.blockOffsets[2] - intact.blockOffsets[0]);
  {
    SCOPED_TRACE("block size 0: every block is too long");
    Trace trace = intact;
    builder::setFooter(trace, 0, blocks, dataLength);
    const testing::BinaryConversion run = convertWithBinary(trace);
    EXPECT_EQ(run.run.status, 1);
    EXPECT_EQ(run.run.out, kInputFaultText);
    EXPECT_EQ(run.table, titleLine(intactRun.table));
  }
  {
    SCOPED_TRACE("block count 0 with blocks present: no block is read");
    Trace trace = intact;
    builder::setFooter(trace, kBlockSize, 0, dataLength);
    const testing::BinaryConversion run = convertWithBinary(trace);
    EXPECT_EQ(run.run.status, 0);
    EXPECT_EQ(run.run.out, success);
    EXPECT_EQ(run.table, titleLine(intactRun.table));
  }
  {
    SCOPED_TRACE("data length ends inside the second block: only the block count ends the loop");
    Trace trace = intact;
    builder::setFooter(trace, kBlockSize, blocks, firstBlock + 1);
    const testing::BinaryConversion run = convertWithBinary(trace);
    EXPECT_EQ(run.run.status, 0);
    EXPECT_EQ(run.run.out, success);
    EXPECT_EQ(run.table, intactRun.table);
  }
  {
    SCOPED_TRACE(
        "data length overshot and one block counted too many: the footer is read as a block");
    Trace trace = intact;
    builder::setFooter(trace, kBlockSize, static_cast<uint16_t>(blocks + 1), firstBlock + 1);
    const testing::BinaryConversion run = convertWithBinary(trace);
    EXPECT_EQ(run.run.status, 1);
    EXPECT_EQ(run.run.out, kInputFaultText);
    EXPECT_EQ(run.table, intactRun.table);
  }
  {
    SCOPED_TRACE("data length covering two blocks exactly ends the loop there");
    Trace trace = intact;
    builder::setFooter(trace, kBlockSize, blocks, firstTwoBlocks);
    const testing::BinaryConversion run = convertWithBinary(trace);
    EXPECT_EQ(run.run.status, 0);
    EXPECT_EQ(run.run.out, success);
    EXPECT_TRUE(isWholeRowPrefix(run.table, intactRun.table));
    EXPECT_GT(lineCount(run.table), 1u);
    EXPECT_LT(lineCount(run.table), lineCount(intactRun.table));
  }
}

}  // namespace
}  // namespace qnvtab
