#include "trace/block_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;

constexpr uint16_t kBlockSize = 64;

// A memory source that counts the bytes asked of it, to show what was read.
class CountingSource : public MemoryByteSource {
 public:
  explicit CountingSource(const Bytes& bytes) : MemoryByteSource(bytes.data(), bytes.size()) {}
  SourceRead readAt(uint64_t offset, uint8_t* destination, size_t size) override {
    asked += size;
    return MemoryByteSource::readAt(offset, destination, size);
  }
  size_t asked = 0;
};

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

// The fault of the block after `before` valid blocks, or nullopt.
struct BlockRead {
  std::optional<Fault> fault;
  size_t asked = 0;  // bytes read from the source for it
};

BlockRead readBlockAfter(const Bytes& file, size_t before, uint16_t blockSize = kBlockSize) {
  CountingSource source(file);
  BlockReader reader(source, 0, blockSize);
  CheckedBlock block;
  for (size_t i = 0; i < before; ++i) EXPECT_FALSE(reader.next(block)) << i;
  const size_t asked = source.asked;
  BlockRead read;
  read.fault = reader.next(block);
  read.asked = source.asked - asked;
  return read;
}

std::optional<FaultKind> kindOf(const BlockRead& read) {
  return read.fault ? std::optional<FaultKind>(read.fault->kind) : std::nullopt;
}

TEST(BlockReader, ReadsConsecutiveBlocksWithTheirOffsets) {
  const Bytes first = payloadOf(kBlockSize, 1);
  const Bytes second = payloadOf(1, 2);
  const Bytes third = payloadOf(17, 3);
  const Bytes file =
      concat({builder::buildBlock(1, false, first), builder::buildBlock(2, true, second),
              builder::buildBlock(3, false, third)});
  MemoryByteSource source(file.data(), file.size());
  BlockReader reader(source, 0, kBlockSize);
  ASSERT_TRUE(reader.allocated());
  CheckedBlock block;
  uint32_t number = 0;
  uint64_t offset = 0;
  for (const Bytes* expected : {&first, &second, &third}) {
    ++number;
    ASSERT_FALSE(reader.next(block)) << number;
    EXPECT_EQ(block.number, number);
    EXPECT_EQ(block.offset, offset);
    EXPECT_EQ(block.header.storedFlag(), number == 2);
    ASSERT_EQ(block.header.length(), expected->size());
    EXPECT_EQ(Bytes(block.payload, block.payload + expected->size()), *expected);
    EXPECT_EQ(block.payload[expected->size()], 0) << "the spare byte";
    offset += 6 + expected->size();
  }
  const std::optional<Fault> end = reader.next(block);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->kind, FaultKind::BlockHeaderCut);
  EXPECT_EQ(end->block, 4u);
  EXPECT_EQ(end->offset, file.size());
  EXPECT_EQ(end->found, 0u);
}

// The length limit is checked before any payload byte is read, so a length
// one over blockSize never reaches the payload buffer.
TEST(BlockReader, LengthLimitIsBlockSize) {
  const BlockRead fits = readBlockAfter(builder::buildBlock(1, true, payloadOf(kBlockSize)), 0);
  EXPECT_FALSE(fits.fault);
  EXPECT_EQ(fits.asked, 6u + kBlockSize);

  const BlockRead over = readBlockAfter(builder::buildBlock(1, true, payloadOf(kBlockSize + 1)), 0);
  EXPECT_EQ(kindOf(over), FaultKind::BlockTooLong);
  EXPECT_EQ(over.fault->found, kBlockSize + 1u);
  EXPECT_EQ(over.fault->expected, kBlockSize);
  EXPECT_EQ(over.asked, 6u);

  // Even when the file ends inside the oversized payload: too long, not cut.
  Bytes cut = builder::buildBlock(1, true, payloadOf(kBlockSize + 1));
  cut.resize(10);
  EXPECT_EQ(kindOf(readBlockAfter(cut, 0)), FaultKind::BlockTooLong);

  // A footer blockSize of 0 admits no block at all.
  EXPECT_EQ(kindOf(readBlockAfter(builder::buildBlock(1, true, payloadOf(1)), 0, 0)),
            FaultKind::BlockTooLong);
  EXPECT_EQ(kindOf(readBlockAfter(builder::buildBlock(1, true, {}), 0, 0)), FaultKind::EmptyBlock);
}

TEST(BlockReader, NumberMustBeTheExpectedOne) {
  const Bytes one = builder::buildBlock(1, false, payloadOf(20));
  const Bytes two = builder::buildBlock(2, false, payloadOf(20));
  const Bytes five = builder::buildBlock(5, false, payloadOf(20));
  EXPECT_EQ(kindOf(readBlockAfter(five, 0)), FaultKind::BlockNumber);
  const BlockRead late = readBlockAfter(concat({one, two, five}), 2);
  ASSERT_EQ(kindOf(late), FaultKind::BlockNumber);
  EXPECT_EQ(late.fault->found, 5u);
  EXPECT_EQ(late.fault->expected, 3u);
  EXPECT_EQ(late.fault->block, 3u);
  EXPECT_EQ(late.asked, 6u);
  // Two blocks in swapped order fail on the first of them.
  EXPECT_EQ(kindOf(readBlockAfter(concat({two, one}), 0)), FaultKind::BlockNumber);
  // The number is checked before the zero length is noticed.
  EXPECT_EQ(kindOf(readBlockAfter(builder::buildBlock(2, true, {}), 0)), FaultKind::BlockNumber);
}

// The stored flag (bit 15) is not part of the number.
TEST(BlockReader, StoredFlagIgnoredInNumberTest) {
  for (bool stored : {false, true}) {
    EXPECT_FALSE(readBlockAfter(builder::buildBlock(1, stored, payloadOf(9)), 0).fault) << stored;
  }
}

TEST(BlockReader, ZeroLengthIsEmpty) {
  EXPECT_EQ(kindOf(readBlockAfter(builder::buildBlock(1, true, {}), 0)), FaultKind::EmptyBlock);
  // Also when more bytes follow and the checksum fits the empty payload.
  const Bytes withData = concat({builder::buildBlock(1, true, {}), payloadOf(10)});
  EXPECT_EQ(kindOf(readBlockAfter(withData, 0)), FaultKind::EmptyBlock);
}

TEST(BlockReader, TruncationAtEveryLength) {
  const Bytes block = builder::buildBlock(1, false, payloadOf(12));
  for (size_t size = 0; size < block.size(); ++size) {
    const BlockRead read = readBlockAfter(Bytes(block.begin(), block.begin() + size), 0);
    ASSERT_TRUE(read.fault) << size;
    EXPECT_EQ(read.fault->kind, size < 6 ? FaultKind::BlockHeaderCut : FaultKind::PayloadCut);
    EXPECT_EQ(read.fault->found, size < 6 ? size : size - 6) << size;
  }
  EXPECT_FALSE(readBlockAfter(block, 0).fault);
}

TEST(BlockReader, DamagedPayloadOrChecksumInvalid) {
  const Bytes block = builder::buildBlock(1, false, payloadOf(12));
  for (size_t bit = 4 * 8; bit < block.size() * 8; ++bit) {
    Bytes bad = block;
    builder::flipBit(bad, bit);
    EXPECT_EQ(kindOf(readBlockAfter(bad, 0)), FaultKind::PayloadChecksum) << "bit " << bit;
  }
}

TEST(BlockReader, ReadErrorCarriesTheSystemReason) {
  class FailingSource : public ByteSource {
   public:
    int64_t size() const override { return 100; }
    SourceRead readAt(uint64_t, uint8_t*, size_t) override { return {0, EIO}; }
  } source;
  BlockReader reader(source, 40, kBlockSize);
  CheckedBlock block;
  const std::optional<Fault> fault = reader.next(block);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, FaultKind::ReadFailed);
  EXPECT_EQ(fault->systemError, EIO);
  EXPECT_EQ(fault->offset, 40u);
}

}  // namespace
}  // namespace qnvtab
