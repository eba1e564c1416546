// Block expansion inside whole conversions: stored and compressed blocks
// side by side, a compressed block whose stream is faulty behind a valid
// checksum, and when the process initialises the decompression library.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <ucl/ucl.h>

#include "harness.h"
#include "writer/trace_writer.h"

namespace {
int libraryInitialisations = 0;
}  // namespace

// Counts the calls of the library's initialisation entry point: this
// definition takes the place of the library's and passes each call on.
extern "C" int __ucl_init2(ucl_uint32 version, int s1, int s2, int s3, int s4, int s5, int s6,
                           int s7, int s8, int s9) {
  using Entry = int (*)(ucl_uint32, int, int, int, int, int, int, int, int, int);
  static const Entry library = reinterpret_cast<Entry>(dlsym(RTLD_NEXT, "__ucl_init2"));
  ++libraryInitialisations;
  return library(version, s1, s2, s3, s4, s5, s6, s7, s8, s9);
}

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::Trace;
using testing::runQnvtab;
using testing::TempDir;

// Events whose records straddle the 128-byte blocks, with payloads that
// compress well (repeated text) and one that does not (counting bytes).
Bytes eventStream() {
  std::vector<builder::EventSpec> events;
  for (unsigned i = 0; i < 24; ++i) {
    builder::EventSpec event;
    event.timeStamp = 1000 + 37 * i;
    event.cmd = static_cast<uint8_t>(0x10 + i % 8);
    event.poIn = static_cast<uint16_t>(i);
    event.lsnIn = static_cast<uint16_t>(0x100 + i);
    event.bufferAddress = 0x2C00 + 16 * i;
    const size_t size = (i * 13) % 70;
    for (size_t k = 0; k < size; ++k) {
      event.data.push_back(i == 5 ? static_cast<uint8_t>(k * 11)
                                  : static_cast<uint8_t>("SEND "[k % 5]));
    }
    event.length = static_cast<uint16_t>(size);
    events.push_back(event);
  }
  return builder::encodeEvents(events, 8);
}

Trace buildTrace(builder::BlockMode mode) {
  builder::TraceSpec shape;
  shape.blockSize = 128;
  shape.mode = mode;
  return builder::buildTrace(shape, eventStream());
}

size_t countOf(const Trace& trace, bool stored) {
  size_t count = 0;
  for (uint8_t flag : trace.blockStored) count += (flag != 0) == stored ? 1 : 0;
  return count;
}

testing::BinaryConversion convertWithBinary(const Trace& trace) { return testing::convertWithBinary(trace.bytes); }

TEST(DecompressEndToEnd, MixedStoredAndCompressedBlocksConvert) {
  const Trace mixed = buildTrace(builder::BlockMode::Alternating);
  ASSERT_GE(countOf(mixed, true), 2u);
  ASSERT_GE(countOf(mixed, false), 2u);
  const Trace stored = buildTrace(builder::BlockMode::Stored);

  const testing::BinaryConversion mixedRun = convertWithBinary(mixed);
  EXPECT_EQ(mixedRun.run.status, 0);
  EXPECT_EQ(mixedRun.run.out, testing::successText("TRACE.QNV", "OUT.XLS"));
  const testing::BinaryConversion storedRun = convertWithBinary(stored);
  ASSERT_EQ(storedRun.run.status, 0);
  // Stored blocks need no decompression: their table is the reference.
  EXPECT_EQ(mixedRun.table, storedRun.table);
  // The title line and one row per event.
  size_t lines = 0;
  for (size_t at = mixedRun.table.find("\r\n"); at != std::string::npos;
       at = mixedRun.table.find("\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u + 24u);
}

// Every stream made by the compressor opens with a literal, flagged by the top
// bit of its first byte; cleared, the stream opens with a back-reference to
// nothing. The block checksum is recomputed, so only the decompressor can tell.
TEST(DecompressEndToEnd, FaultyCompressedBlockIsAnInputFault) {
  const Trace intact = buildTrace(builder::BlockMode::Compressed);
  const testing::BinaryConversion intactRun = convertWithBinary(intact);
  ASSERT_EQ(intactRun.run.status, 0) << intactRun.run.err;
  size_t faulty = 1;
  while (faulty < intact.blockOffsets.size() && intact.blockStored[faulty] != 0) ++faulty;
  ASSERT_LT(faulty, intact.blockOffsets.size() - 1) << "no compressed block between others";

  Trace damaged = intact;
  const size_t payload = damaged.blockOffsets[faulty] + 6;
  ASSERT_TRUE(damaged.bytes[payload] & 0x80);
  damaged.bytes[payload] &= 0x7F;
  builder::refreshBlockChecksum(damaged, faulty);

  const testing::BinaryConversion run = convertWithBinary(damaged);
  EXPECT_EQ(run.run.status, 1);
  EXPECT_EQ(run.run.out, "Invalid input file format or bad input file version!\n");
  // The rows completed by the blocks before stay, and nothing after them.
  ASSERT_LT(run.table.size(), intactRun.table.size());
  EXPECT_EQ(run.table, intactRun.table.substr(0, run.table.size()));
  ASSERT_GE(run.table.size(), 2u);
  EXPECT_EQ(run.table.substr(run.table.size() - 2), "\r\n");
  EXPECT_NE(run.table.find("\r\n1\t"), std::string::npos) << "no row of the blocks before";
}

// The library's initialisation is process-wide, so each conversion runs in a
// fresh process (the test binary executed again) and reports how often the
// library's initialisation entry point was called.
void convertInFreshProcess(const Trace& trace) {
  libraryInitialisations = 0;  // the trace writer initialises the library too
  const testing::InProcessConversion conversion = testing::convertInProcess(trace.bytes);
  std::fprintf(stderr, "%s, initialisations: %d\n",
               conversion.outcome.fault ? "failed" : "converted", libraryInitialisations);
  std::_Exit(0);
}

TEST(DecompressLibraryDeathTest, StoredTraceNeverInitialisesTheLibrary) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Trace trace = buildTrace(builder::BlockMode::Stored);
  EXPECT_EXIT(convertInFreshProcess(trace), ::testing::ExitedWithCode(0),
              "converted, initialisations: 0");
}

TEST(DecompressLibraryDeathTest, CompressedTraceInitialisesTheLibraryOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Trace trace = buildTrace(builder::BlockMode::Alternating);
  ASSERT_GE(countOf(trace, false), 2u);
  EXPECT_EXIT(convertInFreshProcess(trace), ::testing::ExitedWithCode(0),
              "converted, initialisations: 1");
}

}  // namespace
}  // namespace qnvtab
