// Salvage mode end to end: each kind of damage, alone and together, with the
// rows recovered, the report on standard error and the exit status.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::Trace;

constexpr uint16_t kBlockSize = 256;
constexpr size_t kEvents = 60;

// A trace of text events whose records straddle the blocks; block i holds
// the event stream from i * kBlockSize on.
struct Sample {
  Trace trace;
  std::vector<size_t> starts;  // of each event in the stream, and its end
  std::vector<std::string> rows;  // the intact table's rows
};

Sample makeSample(bool compressed) {
  std::vector<builder::EventSpec> events;
  for (uint32_t i = 0; i < kEvents; ++i) {
    builder::EventSpec event;
    event.timeStamp = 1000 + 40 * i;
    event.cmd = static_cast<uint8_t>(0x10 + i % 6);
    event.poIn = static_cast<uint16_t>(i);
    event.data.assign((i * 13) % 70, static_cast<uint8_t>('A' + i % 26));
    event.length = static_cast<uint16_t>(event.data.size());
    events.push_back(event);
  }
  Sample sample;
  builder::TraceSpec plan;
  plan.blockSize = kBlockSize;
  plan.mode = compressed ? builder::BlockMode::Compressed : builder::BlockMode::Stored;
  sample.trace = builder::buildTrace(plan, builder::encodeEvents(events, 8));
  size_t at = 0;
  for (const builder::EventSpec& event : events) {
    sample.starts.push_back(at);
    at += 25 + event.data.size();
  }
  sample.starts.push_back(at);
  const std::string table = testing::convertWithBinary(sample.trace.bytes).table;
  const std::vector<std::string> lines = testing::split(table, "\r\n");
  sample.rows.assign(lines.begin() + 1, lines.end() - 1);
  return sample;
}

// Without their Event cells: the numbers of salvaged rows run over what
// was recovered.
std::vector<std::string> withoutNumbers(const std::vector<std::string>& rows) {
  std::vector<std::string> result;
  for (const std::string& row : rows) result.push_back(row.substr(row.find('\t')));
  return result;
}

// The intact rows of the events whose bytes avoid the lost blocks (indexes
// from 0).
std::vector<std::string> rowsAvoiding(const Sample& sample, const std::set<size_t>& lost) {
  std::vector<std::string> rows;
  for (size_t e = 0; e < kEvents; ++e) {
    bool whole = true;
    for (size_t b = sample.starts[e] / kBlockSize; b <= (sample.starts[e + 1] - 1) / kBlockSize; ++b) {
      whole = whole && lost.count(b) == 0;
    }
    if (whole) rows.push_back(sample.rows[e]);
  }
  return rows;
}

struct Damage {
  const char* name;
  std::function<void(Trace&)> apply;
  std::set<size_t> lostBlocks;  // indexes from 0
  int status;
  // Lines after "qnvtab: TRACE.QNV: ", each as parts that it must hold in
  // this order, split by '|'; the summary last.
  std::vector<std::string> report;
};

std::string offsetOf(const Trace& trace, size_t block) {
  return std::to_string(trace.blockOffsets[block]);
}

void checkDamage(const Sample& sample, const Damage& damage) {
  SCOPED_TRACE(damage.name);
  Trace trace = sample.trace;
  damage.apply(trace);
  const testing::BinaryConversion run = testing::convertWithBinary(trace.bytes, {"--salvage"});
  EXPECT_EQ(run.run.status, damage.status) << run.run.err;
  EXPECT_EQ(run.run.out, testing::successText(testing::kTraceName, testing::kTableName));
  const std::vector<std::string> lines = testing::split(run.table, "\r\n");
  ASSERT_GE(lines.size(), 2u);
  const std::vector<std::string> rows(lines.begin() + 1, lines.end() - 1);
  EXPECT_EQ(withoutNumbers(rows), withoutNumbers(rowsAvoiding(sample, damage.lostBlocks)));
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].substr(0, rows[i].find('\t')), std::to_string(i + 1));
  }
  std::vector<std::string> report = testing::split(run.run.err, "\n");
  ASSERT_EQ(report.back(), "");
  report.pop_back();
  ASSERT_EQ(report.size(), damage.report.size()) << run.run.err;
  for (size_t i = 0; i < report.size(); ++i) {
    EXPECT_EQ(report[i].rfind("qnvtab: TRACE.QNV: ", 0), 0u) << report[i];
    size_t at = 0;
    for (const std::string& part : testing::split(damage.report[i], "|")) {
      at = report[i].find(part, at);
      EXPECT_NE(at, std::string::npos) << report[i] << "\nlacks: " << part;
    }
  }
}

TEST(Salvage, IntactTraceConvertsAsWithoutIt) {
  const Sample sample = makeSample(true);
  const testing::BinaryConversion strict = testing::convertWithBinary(sample.trace.bytes);
  const testing::BinaryConversion salvaged =
      testing::convertWithBinary(sample.trace.bytes, {"--salvage", "-dHA"});
  EXPECT_EQ(salvaged.run.status, 0);
  EXPECT_EQ(salvaged.run.out, strict.run.out);
  EXPECT_EQ(salvaged.table, testing::convertWithBinary(sample.trace.bytes, {"-dHA"}).table);
  EXPECT_EQ(salvaged.run.err,
            "qnvtab: TRACE.QNV: salvage: " + std::to_string(sample.trace.blockOffsets.size()) +
                " blocks read, 0 lost; 0 bytes skipped (0.0% of the file); 60 events written, "
                "none lost\n");
}

TEST(Salvage, EachKindOfDamage) {
  for (bool compressed : {false, true}) {
    const Sample sample = makeSample(compressed);
    const Trace& t = sample.trace;
    const size_t blocks = t.blockOffsets.size();
    ASSERT_GE(blocks, 9u);
    const auto payloadByte = [&](size_t block) { return t.blockOffsets[block] + 6 + 3; };
    const auto cutInside = [&](Trace& trace, size_t block) {
      trace.bytes.resize(trace.blockOffsets[block] + 9);
    };
    std::set<size_t> tail;
    for (size_t b = 6; b < blocks; ++b) tail.insert(b);
    const Damage damages[] = {
        {"cut short", [&](Trace& d) { cutInside(d, 6); }, tail, 3,
         {"footer: checksum", "block 7 at offset " + offsetOf(t, 6) + ": payload cut short",
          "salvage: 6 blocks read, 0 lost; 9 bytes skipped"}},
        {"cut short, zero padding after",
         [&](Trace& d) {
           cutInside(d, 6);
           d.bytes.resize(d.bytes.size() + 4096, 0);
         },
         tail, 3, {"footer: checksum 0x", ": torn tail, bytes " + offsetOf(t, 6), "salvage: "}},
        {"footer damaged", [&](Trace& d) { builder::flipBit(d.bytes, d.footerOffset * 8 + 3); },
         {}, 3, {"footer: checksum 0x", "torn tail", "none lost"}},
        {"last block damaged, the footer checking",
         [&](Trace& d) { builder::flipBit(d.bytes, payloadByte(blocks - 1) * 8); },
         {blocks - 1}, 4,
         {"block " + std::to_string(blocks) + " at offset " + offsetOf(t, blocks - 1) +
              ": payload checksum 0x",
          "1 lost;"}},
        {"cut right after the header", [&](Trace& d) { d.bytes.resize(d.headerSize + 10); },
         [&] {
           std::set<size_t> all;
           for (size_t b = 0; b < blocks; ++b) all.insert(b);
           return all;
         }(),
         3,
         {"footer: checksum", "block 1 at offset " + offsetOf(t, 0) + ": payload cut short",
          "salvage: 0 blocks read"}},
        {"header checksum", [&](Trace& d) { builder::flipBit(d.bytes, 60 * 8); }, {}, 4,
         {"header: no known layout (no checksum, tag and version fit): the header is read by its "
          "text as the 203-byte layout, since block 1 checks right after it; its checksum is "
          "wrong, so the trace's dates are unverified",
          "salvage: "}},
        {"payload checksum", [&](Trace& d) { builder::flipBit(d.bytes, payloadByte(3) * 8); },
         {3}, 4,
         {"block 4 at offset " + offsetOf(t, 3) + ": payload checksum 0x|skipped (" +
              std::to_string(t.blockOffsets[4] - t.blockOffsets[3]) + " bytes), block 4 lost",
          "1 lost; "}},
        {"block number",
         [&](Trace& d) { builder::setU16(d.bytes, d.blockOffsets[2], compressed ? 40 : 0x8000 | 40); },
         {}, 4,
         {"block 3 at offset " + offsetOf(t, 2) +
              ": block number 40, expected 3: kept as block 3, since its checksum and the block "
              "after it check",
          "0 lost; 0 bytes skipped"}},
        {"length", [&](Trace& d) { builder::setU16(d.bytes, d.blockOffsets[4] + 2, 9999); }, {4},
         4, {"block 5 at offset " + offsetOf(t, 4) + ": payload length 9999 exceeds the block size 256",
             "salvage: "}},
        {"garbage over two blocks",
         [&](Trace& d) {
           for (size_t i = d.blockOffsets[2] + 20; i < d.blockOffsets[4] - 5; ++i) {
             d.bytes[i] = static_cast<uint8_t>(i * 131 + 7);
           }
         },
         {2, 3}, 4, {"block 3 at offset " + offsetOf(t, 2) + "|blocks 3-4 lost", "2 lost"}},
        {"bytes inserted between blocks",
         [&](Trace& d) {
           d.bytes.insert(d.bytes.begin() + static_cast<ptrdiff_t>(d.blockOffsets[5]), 777, 0x5A);
         },
         {}, 4, {"block 6 at offset " + offsetOf(t, 5) + ": |bytes " + offsetOf(t, 5) + "-|no block lost",
          "0 lost; 777 bytes skipped"}},
        {"bytes deleted inside a block",
         [&](Trace& d) {
           d.bytes.erase(d.bytes.begin() + static_cast<ptrdiff_t>(payloadByte(5)),
                         d.bytes.begin() + static_cast<ptrdiff_t>(payloadByte(5) + 30));
         },
         {5}, 4, {"footer: data length", "block 6 at offset " + offsetOf(t, 5), "1 lost"}},
        {"several at once",
         [&](Trace& d) {
           builder::flipBit(d.bytes, payloadByte(1) * 8 + 5);
           builder::flipBit(d.bytes, payloadByte(4) * 8 + 5);
           cutInside(d, 6);
         },
         [&] {
           std::set<size_t> lost = tail;
           lost.insert({1, 4});
           return lost;
         }(),
         4, {"footer: checksum", "block 2 at offset", "block 5 at offset", "torn tail", "2 lost;"}},
    };
    for (const Damage& damage : damages) checkDamage(sample, damage);
  }
}

// A faulty compressed stream behind a right checksum loses its block alone.
TEST(Salvage, FaultyCompressedStream) {
  const Sample sample = makeSample(true);
  Trace trace = sample.trace;
  size_t faulty = 3;
  while (trace.blockStored[faulty] != 0) ++faulty;
  trace.bytes[trace.blockOffsets[faulty] + 6] &= 0x7F;  // a back-reference before any output
  builder::refreshBlockChecksum(trace, faulty);
  checkDamage(sample, {"faulty stream", [&](Trace& d) { d = trace; }, {faulty}, 4,
                       {"compressed payload faulty or larger than|(UCL error -203): bytes",
                        "1 lost"}});
}

// When nothing names a trace, salvage has nothing to work on.
TEST(Salvage, NoTraceAtAll) {
  const testing::BinaryConversion run = testing::convertWithBinary(Bytes(5000, 0x41), {"--salvage"});
  EXPECT_EQ(run.run.status, 1);
  EXPECT_EQ(run.run.out, "Invalid input file format or bad input file version!\n");
  EXPECT_EQ(run.run.err,
            "qnvtab: TRACE.QNV: header: no known layout (no checksum, tag and version fit)\n");
}

}  // namespace
}  // namespace qnvtab
