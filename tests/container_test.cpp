// The trace container through the real binary: every version and block
// mode walked to the end, rejected headers, faulty blocks and the two
// footer counts that end the block loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "trace/trace_format.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::BlockMode;
using builder::Bytes;
using builder::Trace;
using testing::fileExists;
using testing::readFile;
using testing::runQnvtab;
using testing::RunResult;
using testing::successText;
using testing::TempDir;
using testing::writeFile;

const std::string kInputFault = "Invalid input file format or bad input file version!\n";
constexpr size_t kEventData = 40;

size_t recordSize(unsigned version) { return (version == 5 ? 23 : 25) + kEventData; }

// `count` events whose rows are told apart by number and time stamp; the
// repeated data bytes make every block worth compressing.
Bytes eventStream(unsigned version, size_t count) {
  std::vector<builder::EventSpec> events(count);
  for (size_t i = 0; i < count; ++i) {
    events[i].timeStamp = 2000 + 100 * static_cast<uint32_t>(i);
    events[i].poIn = static_cast<uint16_t>(i);
    events[i].cmd = 0x31;
    events[i].data.assign(kEventData, static_cast<uint8_t>('a' + i % 26));
  }
  return builder::encodeEvents(events, version);
}

// A trace of `count` events, `perBlock` whole events to a block, whose
// payloads fill blockSize exactly when stored.
Trace blockTrace(unsigned version, BlockMode mode, size_t count, size_t perBlock) {
  builder::TraceSpec plan;
  plan.header.version = version;
  plan.blockSize = static_cast<uint16_t>(perBlock * recordSize(version));
  plan.mode = mode;
  return builder::buildTrace(plan, eventStream(version, count));
}

using Converted = testing::BinaryConversion;

Converted convert(const Bytes& trace, const std::vector<std::string>& options = {}) {
  return testing::convertWithBinary(trace, options);
}

// The table's lines, each with its CR LF; the first is the title line.
std::vector<std::string> linesOf(const std::string& table) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = table.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(table.substr(start, end + 2 - start));
  }
  EXPECT_EQ(start, table.size()) << "table ends without CR LF";
  return lines;
}

std::string firstLines(const std::string& table, size_t count) {
  std::string text;
  for (const std::string& line : linesOf(table)) {
    if (count-- == 0) break;
    text += line;
  }
  return text;
}

bool isSuccess(const Converted& converted) {
  return converted.run.status == 0 && converted.run.out == successText(testing::kTraceName, testing::kTableName) &&
         converted.run.err.empty();
}

bool isInputFault(const Converted& converted) {
  return converted.run.status == 1 && converted.run.out == kInputFault &&
         converted.run.err.rfind("qnvtab: ", 0) == 0 && converted.run.err.back() == '\n';
}

void fillBytes(Bytes& bytes, size_t from, size_t to, uint8_t value) {
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(to), value);
}

// Events cut across block boundaries, every block of every version walked.
TEST(Container, EachVersionAndModeWalksAllBlocks) {
  for (unsigned version : {5u, 6u, 7u, 8u}) {
    std::string storedTable;
    for (BlockMode mode : {BlockMode::Stored, BlockMode::Compressed, BlockMode::Alternating}) {
      SCOPED_TRACE(::testing::Message() << "version " << version << " mode " << int(mode));
      builder::TraceSpec plan;
      plan.header.version = version;
      plan.blockSize = 100;
      plan.mode = mode;
      const Trace trace = builder::buildTrace(plan, eventStream(version, 9));
      ASSERT_GE(trace.blockOffsets.size(), 5u);
      if (mode == BlockMode::Compressed) {
        ASSERT_EQ(std::count(trace.blockStored.begin(), trace.blockStored.end(), 1), 0);
      }
      const Converted converted = convert(trace.bytes);
      EXPECT_TRUE(isSuccess(converted)) << converted.run.out << converted.run.err;
      const std::vector<std::string> lines = linesOf(converted.table);
      ASSERT_EQ(lines.size(), 1u + 9u);
      for (size_t row = 1; row < lines.size(); ++row) {
        EXPECT_EQ(lines[row].rfind(
                      std::to_string(row) + "\t" + std::to_string(1900 + 100 * row) + "\t", 0),
                  0u)
            << lines[row];
      }
      if (mode == BlockMode::Stored) {
        storedTable = converted.table;
      } else {
        EXPECT_EQ(converted.table, storedTable);
      }
    }
  }
}

// No block to read: only the title line is written.
TEST(Container, TracesWithoutBlocks) {
  builder::HeaderSpec v5;
  v5.version = 5;
  Bytes smallest = builder::buildHeader(v5);
  const Bytes footer = builder::buildFooter(512, 0, 0);
  smallest.insert(smallest.end(), footer.begin(), footer.end());
  ASSERT_EQ(smallest.size(), 196u);

  Trace zeroBlockSize = blockTrace(8, BlockMode::Stored, 4, 2);
  builder::setFooter(zeroBlockSize, 0, 0, 0);
  Trace zeroCount = blockTrace(8, BlockMode::Stored, 4, 2);
  builder::setFooter(zeroCount, 2 * recordSize(8), 0,
                     zeroCount.footerOffset - zeroCount.headerSize);
  Trace zeroLength = blockTrace(7, BlockMode::Compressed, 4, 2);
  builder::setFooter(zeroLength, 2 * recordSize(7), 2, 0);

  for (const Bytes* trace :
       {&smallest, &zeroBlockSize.bytes, &zeroCount.bytes, &zeroLength.bytes}) {
    const Converted converted = convert(*trace, {"-dHA"});
    EXPECT_TRUE(isSuccess(converted)) << converted.run.out << converted.run.err;
    const std::vector<std::string> lines = linesOf(converted.table);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("\"Event\"\t", 0), 0u) << lines[0];
  }
}

// Faults found by the header reader: the output is created and left empty.
TEST(Container, RejectedHeaderLeavesEmptyOutput) {
  const Trace good = blockTrace(8, BlockMode::Stored, 4, 2);
  ASSERT_TRUE(isSuccess(convert(good.bytes)));

  Bytes tooShort(195, ' ');
  std::copy(good.bytes.begin(), good.bytes.begin() + 179, tooShort.begin());
  Bytes badFooter = good.bytes;
  builder::flipBit(badFooter, badFooter.size() * 8 - 1);
  Trace tooLong = good;
  builder::setFooter(tooLong, 2 * recordSize(8), 2, good.footerOffset - good.headerSize + 1);
  Trace revision2 = good;
  std::copy_n("02", 2, revision2.bytes.begin() + layout::kRevisionOffset);
  builder::refreshHeaderChecksum(revision2);

  for (const Bytes* trace : {&tooShort, &badFooter, &tooLong.bytes, &revision2.bytes}) {
    const Converted converted = convert(*trace, {"-th"});
    EXPECT_TRUE(isInputFault(converted)) << converted.run.out << converted.run.err;
    EXPECT_TRUE(converted.outputExists);
    EXPECT_EQ(converted.table, "");
  }
}

// The first faulty block ends the run; the rows of the blocks before it stay.
TEST(Container, FaultInABlockKeepsEarlierRows) {
  struct Case {
    const char* name;
    BlockMode mode;
    size_t faultyBlock;  // 1-based
    std::function<void(Trace&)> damage;
  };
  const uint16_t blockSize = static_cast<uint16_t>(2 * recordSize(8));
  const auto blockAt = [](const Trace& trace, size_t number) {
    return trace.blockOffsets[number - 1];
  };
  const Case cases[] = {
      {"length one over blockSize", BlockMode::Stored, 2,
       [&](Trace& t) {
         builder::setU16(t.bytes, blockAt(t, 2) + layout::kBlockLengthOffset, blockSize + 1);
       }},
      {"length 0", BlockMode::Stored, 2,
       [&](Trace& t) { builder::setU16(t.bytes, blockAt(t, 2) + layout::kBlockLengthOffset, 0); }},
      {"number 3 in place of 2", BlockMode::Stored, 2,
       [&](Trace& t) { builder::setU16(t.bytes, blockAt(t, 2), 3 | layout::kStoredFlag); }},
      {"number 3 in place of 2", BlockMode::Compressed, 2,
       [&](Trace& t) { builder::setU16(t.bytes, blockAt(t, 2), 3); }},
      {"payload bit flipped", BlockMode::Stored, 2,
       [&](Trace& t) { builder::flipBit(t.bytes, (blockAt(t, 2) + 6 + 30) * 8 + 2); }},
      {"payload bit flipped", BlockMode::Compressed, 3,
       [&](Trace& t) { builder::flipBit(t.bytes, (blockAt(t, 3) + 6 + 5) * 8 + 7); }},
      {"blocks 2 and 3 swapped", BlockMode::Compressed, 2,
       [&](Trace& t) {
         const auto part = [&](size_t from, size_t to) {
           return Bytes(t.bytes.begin() + from, t.bytes.begin() + to);
         };
         const size_t b2 = blockAt(t, 2), b3 = blockAt(t, 3), b4 = blockAt(t, 4);
         Bytes swapped = part(0, b2);
         for (const Bytes& piece : {part(b3, b4), part(b2, b3), part(b4, t.bytes.size())}) {
           swapped.insert(swapped.end(), piece.begin(), piece.end());
         }
         t.bytes = swapped;
       }},
      // Block 4 keeps its header and five payload bytes; the footer follows.
      {"payload cut short", BlockMode::Stored, 4,
       [&](Trace& t) {
         const size_t end = blockAt(t, 4) + layout::kBlockHeaderSize + 5;
         t.bytes.erase(t.bytes.begin() + end, t.bytes.begin() + t.footerOffset);
         t.footerOffset = end;
         builder::setFooter(t, blockSize, 4, static_cast<uint32_t>(end - t.headerSize));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name << ", mode " << int(c.mode));
    Trace trace = blockTrace(8, c.mode, 8, 2);
    ASSERT_EQ(trace.blockOffsets.size(), 4u);
    const Converted good = convert(trace.bytes, {"-dA"});
    ASSERT_TRUE(isSuccess(good));
    ASSERT_EQ(linesOf(good.table).size(), 1u + 8u);

    c.damage(trace);
    const Converted damaged = convert(trace.bytes, {"-dA"});
    EXPECT_TRUE(isInputFault(damaged)) << damaged.run.out << damaged.run.err;
    EXPECT_EQ(damaged.table, firstLines(good.table, 1 + 2 * (c.faultyBlock - 1)));
  }
}

// The loop ends after blockCount blocks or when the blocks read add up to
// exactly dataLength; a third block of garbage is then never read.
TEST(Container, BlockCountAndDataLengthEndTheLoop) {
  const Trace good = blockTrace(6, BlockMode::Compressed, 6, 2);
  ASSERT_EQ(good.blockOffsets.size(), 3u);
  const Converted full = convert(good.bytes);
  ASSERT_TRUE(isSuccess(full));
  const std::string twoBlocks = firstLines(full.table, 1 + 4);

  const uint16_t blockSize = static_cast<uint16_t>(2 * recordSize(6));
  const uint32_t allBlocks = static_cast<uint32_t>(good.footerOffset - good.headerSize);
  const uint32_t firstTwo = static_cast<uint32_t>(good.blockOffsets[2] - good.headerSize);
  struct Case {
    const char* name;
    uint16_t blockCount;
    uint32_t dataLength;
    bool thirdRead;
  };
  const Case cases[] = {
      {"dataLength covers two blocks", 3, firstTwo, false},
      {"blockCount 2", 2, allBlocks, false},
      // Lengths overshooting dataLength wrap the count: blockCount ends the loop.
      {"dataLength 1", 2, 1, false},
      {"dataLength between blocks 2 and 3", 3, firstTwo + 1, true},
      {"dataLength inside block 2", 3, firstTwo - 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Trace trace = good;
    fillBytes(trace.bytes, trace.blockOffsets[2], trace.footerOffset, 0xEE);
    builder::setFooter(trace, blockSize, c.blockCount, c.dataLength);
    const Converted converted = convert(trace.bytes);
    if (c.thirdRead) {
      EXPECT_TRUE(isInputFault(converted)) << converted.run.out << converted.run.err;
    } else {
      EXPECT_TRUE(isSuccess(converted)) << converted.run.out << converted.run.err;
    }
    EXPECT_EQ(converted.table, twoBlocks);
  }
}

}  // namespace
}  // namespace qnvtab
