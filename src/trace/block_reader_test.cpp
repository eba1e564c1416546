#include "trace/block_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "trace/file_handle.h"
#include "trace_builder.h"

namespace qnvtab {
namespace {

using builder::Bytes;

constexpr uint16_t kBlockSize = 64;
constexpr uint8_t kUntouched = 0xAA;

FileHandle openBytes(const Bytes& bytes) {
  FileHandle file(std::tmpfile());
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file.get());
  std::rewind(file.get());
  return file;
}

TraceFooter footerOf(uint16_t blockSize) {
  TraceFooter footer;
  const Bytes bytes = builder::buildFooter(blockSize, 3, 0);
  std::copy(bytes.begin(), bytes.end(), footer.bytes.begin());
  return footer;
}

Bytes payloadOf(size_t size, uint8_t seed = 1) {
  Bytes payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(seed + i * 13);
  return payload;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// One readBlock call over `file`, with a payload buffer of exactly
// `blockSize` bytes so that the sanitizer sees any overrun.
struct BlockRead {
  int result = -1;
  BlockHeader header;
  Bytes payload;
  long position = -1;  // where the file was left
};

BlockRead readFirstBlock(const Bytes& file, uint32_t expected = 1,
                         uint16_t blockSize = kBlockSize) {
  FileHandle input = openBytes(file);
  BlockRead read;
  read.payload.assign(blockSize == 0 ? 1 : blockSize, kUntouched);
  read.result = static_cast<int>(
      readBlock(input.get(), footerOf(blockSize), expected, read.header, read.payload.data()));
  read.position = std::ftell(input.get());
  return read;
}

TEST(ReadBlock, ReadsConsecutiveBlocks) {
  const Bytes first = payloadOf(kBlockSize, 1);
  const Bytes second = payloadOf(1, 2);
  const Bytes third = payloadOf(17, 3);
  const Bytes file =
      concat({builder::buildBlock(1, false, first), builder::buildBlock(2, true, second),
              builder::buildBlock(3, false, third)});
  FileHandle input = openBytes(file);
  const TraceFooter footer = footerOf(kBlockSize);
  Bytes payload(kBlockSize);
  BlockHeader header;
  uint32_t number = 0;
  for (const Bytes* expected : {&first, &second, &third}) {
    ++number;
    ASSERT_EQ(readBlock(input.get(), footer, number, header, payload.data()),
              BlockReadResult::Valid)
        << number;
    EXPECT_EQ(header.blockNumber(), number);
    EXPECT_EQ(header.storedFlag(), number == 2);
    ASSERT_EQ(header.length(), expected->size());
    EXPECT_TRUE(std::equal(expected->begin(), expected->end(), payload.begin()));
  }
  EXPECT_EQ(std::ftell(input.get()), static_cast<long>(file.size()));
  EXPECT_EQ(readBlock(input.get(), footer, 4, header, payload.data()), BlockReadResult::EndedEarly);
}

// The length limit is checked before any payload byte is read, so a length
// one over blockSize never reaches the payload buffer.
TEST(ReadBlock, LengthLimitIsBlockSize) {
  const BlockRead fits = readFirstBlock(builder::buildBlock(1, true, payloadOf(kBlockSize)));
  EXPECT_EQ(fits.result, 0);
  EXPECT_EQ(fits.position, 6 + kBlockSize);

  const BlockRead over = readFirstBlock(builder::buildBlock(1, true, payloadOf(kBlockSize + 1)));
  EXPECT_EQ(over.result, 2);
  EXPECT_EQ(over.position, 6);
  EXPECT_EQ(over.payload, Bytes(kBlockSize, kUntouched));

  // Even when the file ends inside the oversized payload: invalid, not short.
  Bytes cut = builder::buildBlock(1, true, payloadOf(kBlockSize + 1));
  cut.resize(10);
  EXPECT_EQ(readFirstBlock(cut).result, 2);

  // A footer blockSize of 0 admits no block at all.
  EXPECT_EQ(readFirstBlock(builder::buildBlock(1, true, payloadOf(1)), 1, 0).result, 2);
  EXPECT_EQ(readFirstBlock(builder::buildBlock(1, true, {}), 1, 0).result, 1);
}

TEST(ReadBlock, NumberMustBeTheExpectedOne) {
  const Bytes block = builder::buildBlock(5, false, payloadOf(20));
  EXPECT_EQ(readFirstBlock(block, 5).result, 0);
  for (uint32_t expected : {1u, 4u, 6u}) {
    const BlockRead read = readFirstBlock(block, expected);
    EXPECT_EQ(read.result, 2) << expected;
    EXPECT_EQ(read.position, 6) << expected;
  }
  // The number is checked before the zero length is noticed.
  EXPECT_EQ(readFirstBlock(builder::buildBlock(2, true, {}), 1).result, 2);
}

// The stored flag (bit 15) is not part of the number.
TEST(ReadBlock, StoredFlagIgnoredInNumberTest) {
  for (bool stored : {false, true}) {
    const BlockRead read = readFirstBlock(builder::buildBlock(1, stored, payloadOf(9)));
    EXPECT_EQ(read.result, 0) << stored;
    EXPECT_EQ(read.header.storedFlag(), stored);
    EXPECT_EQ(read.header.blockNumber(), 1);
  }
  EXPECT_EQ(readFirstBlock(builder::buildBlock(0x7FFF, true, payloadOf(9)), 0x7FFF).result, 0);
}

TEST(ReadBlock, ZeroLengthEndsEarly) {
  const BlockRead read = readFirstBlock(builder::buildBlock(1, true, {}));
  EXPECT_EQ(read.result, 1);
  // Also when more bytes follow and the checksum fits the empty payload.
  const Bytes withData = concat({builder::buildBlock(1, true, {}), payloadOf(10)});
  EXPECT_EQ(readFirstBlock(withData).result, 1);
}

TEST(ReadBlock, TruncationAtEveryLengthEndsEarly) {
  const Bytes block = builder::buildBlock(1, false, payloadOf(12));
  for (size_t size = 0; size < block.size(); ++size) {
    EXPECT_EQ(readFirstBlock(Bytes(block.begin(), block.begin() + size)).result, 1) << size;
  }
  EXPECT_EQ(readFirstBlock(block).result, 0);
}

TEST(ReadBlock, DamagedPayloadOrChecksumInvalid) {
  const Bytes block = builder::buildBlock(1, false, payloadOf(12));
  for (size_t bit = 4 * 8; bit < block.size() * 8; ++bit) {
    Bytes bad = block;
    builder::flipBit(bad, bit);
    EXPECT_EQ(readFirstBlock(bad).result, 2) << "bit " << bit;
  }
}

TEST(ReadBlock, SwappedBlocksInvalidAtTheFirst) {
  const Bytes file = concat({builder::buildBlock(2, false, payloadOf(8, 2)),
                             builder::buildBlock(1, false, payloadOf(8, 1))});
  EXPECT_EQ(readFirstBlock(file, 1).result, 2);
}

}  // namespace
}  // namespace qnvtab
