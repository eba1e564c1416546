// The one-line diagnosis on standard error: what was wrong and where, for
// every kind of input fault, a write failure, and the warning about the
// bytes of an incomplete last event. Standard output never changes for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "trace/crc16.h"
#include "trace/trace_format.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using namespace qnvtab::builder;
using qnvtab::testing::runQnvtab;
using qnvtab::testing::TempDir;

constexpr char kInputFault[] = "Invalid input file format or bad input file version!\n";

Bytes events(unsigned version, int count, size_t dataSize) {
  std::vector<EventSpec> list(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    list[static_cast<size_t>(i)].timeStamp = 1000 + static_cast<uint32_t>(i) * 10;
    list[static_cast<size_t>(i)].cmd = 0x14;
    list[static_cast<size_t>(i)].data.assign(dataSize, static_cast<uint8_t>('a' + i % 26));
    list[static_cast<size_t>(i)].length = static_cast<uint16_t>(dataSize);
  }
  return encodeEvents(list, version);
}

Trace smallTrace(BlockMode mode = BlockMode::Stored) {
  TraceSpec plan;
  plan.blockSize = 128;
  plan.mode = mode;
  return buildTrace(plan, events(8, 12, 30));
}

std::string hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

constexpr char kSalvageHint[] = "qnvtab: hint: --salvage converts the intact blocks of a damaged trace\n";

// Runs a damaged trace: the input-fault message alone on standard output,
// status 1, and the diagnosis returned. A trace too short to hold any block
// gets no hint of salvage.
std::string diagnosisOf(const Bytes& trace) {
  const testing::RunResult run = testing::convertWithBinary(trace).run;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kInputFault);
  const std::string prefix = std::string("qnvtab: ") + testing::kTraceName + ": ";
  EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
  const size_t end = run.err.find('\n');
  const std::string rest = run.err.substr(end + 1);
  EXPECT_TRUE(rest.empty() || rest == kSalvageHint) << "one line and the hint: " << run.err;
  EXPECT_EQ(rest.empty(), run.err.find("shorter than the smallest") != std::string::npos)
      << run.err;
  return run.err.substr(prefix.size(), end - prefix.size());
}

TEST(Diagnosis, HeaderFaults) {
  EXPECT_EQ(diagnosisOf(Bytes(150, 0x20)),
            "header: no known layout (file of 150 bytes is shorter than the smallest header and "
            "footer)");
  EXPECT_EQ(diagnosisOf(Bytes(400, 0x20)), "header: no known layout (no checksum, tag and version fit)");

  TraceSpec plan;
  plan.header.version = 5;
  plan.header.majorText = "00007";
  EXPECT_EQ(diagnosisOf(buildTrace(plan, events(5, 2, 4)).bytes),
            "header: version '00007.000' is not supported in the 180-byte layout");

  plan.header = HeaderSpec{};
  plan.header.revisionText = "02";
  EXPECT_EQ(diagnosisOf(buildTrace(plan, events(8, 2, 4)).bytes),
            "header: revision '02' of the 203-byte layout is not supported");
}

TEST(Diagnosis, FooterFaults) {
  Trace trace = smallTrace();
  const uint32_t dataLength = static_cast<uint32_t>(trace.footerOffset - trace.headerSize);
  setFooter(trace, 128, static_cast<uint16_t>(trace.blockOffsets.size()), dataLength + 1);
  EXPECT_EQ(diagnosisOf(trace.bytes), "footer: data length " + std::to_string(dataLength + 1) +
                                          " exceeds the " + std::to_string(dataLength) +
                                          " bytes between header and footer");

  trace = smallTrace();
  const size_t checksumAt = trace.footerOffset + layout::kFooterChecksumOffset;
  const uint16_t right = loadU16(&trace.bytes[checksumAt]);
  setU16(trace.bytes, checksumAt, static_cast<uint16_t>(right ^ 0x0101));
  EXPECT_EQ(diagnosisOf(trace.bytes),
            "footer: checksum " + hex16(right) + ", expected " + hex16(right ^ 0x0101u));
}

TEST(Diagnosis, BlockFaultsNameTheBlockAndItsOffset) {
  Trace trace = smallTrace();
  ASSERT_GE(trace.blockOffsets.size(), 3u);
  const size_t second = trace.blockOffsets[1];
  const std::string where = "block 2 at offset " + std::to_string(second) + ": ";

  Bytes damaged = trace.bytes;
  const uint16_t stored = loadU16(&damaged[second + layout::kBlockChecksumOffset]);
  damaged[second + layout::kBlockHeaderSize + 3] ^= 0x40;
  const uint16_t computed =
      crc16(&damaged[second + layout::kBlockHeaderSize],
            loadU16(&damaged[second + layout::kBlockLengthOffset]));
  EXPECT_EQ(diagnosisOf(damaged),
            where + "payload checksum " + hex16(computed) + ", expected " + hex16(stored));

  damaged = trace.bytes;
  setU16(damaged, second + layout::kBlockNumberOffset, 3 | layout::kStoredFlag);
  EXPECT_EQ(diagnosisOf(damaged), where + "block number 3, expected 2");

  damaged = trace.bytes;
  setU16(damaged, second + layout::kBlockLengthOffset, 129);
  EXPECT_EQ(diagnosisOf(damaged), where + "payload length 129 exceeds the block size 128");

  damaged = trace.bytes;
  setU16(damaged, second + layout::kBlockLengthOffset, 0);
  EXPECT_EQ(diagnosisOf(damaged), where + "payload length 0");

  // The last block claims a longer payload than the file still holds.
  damaged = trace.bytes;
  const size_t last = trace.blockOffsets.back();
  const size_t left = damaged.size() - last - layout::kBlockHeaderSize;
  ASSERT_LT(left, 128u);
  setU16(damaged, last + layout::kBlockLengthOffset, 128);
  EXPECT_EQ(diagnosisOf(damaged), "block " + std::to_string(trace.blockOffsets.size()) +
                                      " at offset " + std::to_string(last) +
                                      ": payload cut short by the end of the file (" +
                                      std::to_string(left) + " of 128 bytes)");
}

TEST(Diagnosis, FaultyCompressedStream) {
  Trace trace = smallTrace(BlockMode::ForcedCompressed);
  const size_t first = trace.blockOffsets[0];
  const uint16_t length = loadU16(&trace.bytes[first + layout::kBlockLengthOffset]);
  // Cut the stream's last byte (its end marker) and shrink the block.
  trace.bytes.erase(trace.bytes.begin() + static_cast<ptrdiff_t>(first + layout::kBlockHeaderSize + length - 1));
  setU16(trace.bytes, first + layout::kBlockLengthOffset, static_cast<uint16_t>(length - 1));
  for (size_t& offset : trace.blockOffsets) offset -= offset > first ? 1 : 0;
  trace.footerOffset -= 1;
  refreshBlockChecksum(trace, 0);
  setFooter(trace, 128, static_cast<uint16_t>(trace.blockOffsets.size()),
            static_cast<uint32_t>(trace.footerOffset - trace.headerSize));
  EXPECT_EQ(diagnosisOf(trace.bytes),
            "block 1 at offset 203: compressed payload faulty or larger than the 256 bytes left in "
            "the buffer (UCL error -201)");
}

TEST(Diagnosis, StoredPayloadThatDoesNotFit) {
  // A record longer than the buffer can hold keeps growing the carried tail
  // until a stored block no longer fits.
  TraceSpec plan;
  plan.blockSize = 128;
  plan.mode = BlockMode::Stored;
  const Trace trace = buildTrace(plan, events(8, 1, 400));
  EXPECT_EQ(diagnosisOf(trace.bytes), "block 3 at offset " + std::to_string(trace.blockOffsets[2]) +
                                          ": stored payload of 128 bytes exceeds the 0 bytes "
                                          "left in the buffer");
}

TEST(Diagnosis, WriteFailureNamesTheOutputAndTheReason) {
  TempDir dir;
  const std::string input = dir.file("TRACE.QNV");
  testing::writeFile(input, smallTrace().bytes);
  const auto run = runQnvtab({"-i" + input, "-o/dev/full"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Cannot write output file!\n");
  EXPECT_EQ(run.err, "qnvtab: /dev/full: cannot write: No space left on device\n");
}

TEST(Diagnosis, IncompleteLastEventIsAWarningOnly) {
  TempDir dir;
  const std::string input = dir.file("TRACE.QNV");
  const std::string output = dir.file("out.xls");
  Bytes stream = events(8, 5, 10);
  const Bytes partial = events(8, 1, 10);
  stream.insert(stream.end(), partial.begin(), partial.begin() + 20);
  TraceSpec plan;
  plan.blockSize = 128;
  testing::writeFile(input, buildTrace(plan, stream).bytes);
  const auto run = runQnvtab({"-i" + input, "-o" + output});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, testing::successText(input, output));
  EXPECT_EQ(run.err, "qnvtab: warning: " + input +
                         ": 20 bytes of an incomplete event after event 5 dropped at the end of "
                         "the trace\n");

  testing::writeFile(input, buildTrace(plan, events(8, 5, 10)).bytes);
  EXPECT_EQ(runQnvtab({"-i" + input, "-o" + output}).err, "");
}

}  // namespace
}  // namespace qnvtab
