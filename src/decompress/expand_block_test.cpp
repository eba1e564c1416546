#include "decompress/expand_block.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <ucl/ucl.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;

// Two pages, the second one PROT_NONE: a byte placed at end() - n is the
// last accessible one when n is 1. libucl is not built with AddressSanitizer,
// so only a guard page catches its stray reads and writes.
class GuardedRegion {
 public:
  GuardedRegion() {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* base =
        mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) std::abort();
    base_ = static_cast<uint8_t*>(base);
    if (mprotect(base_ + page_, page_, PROT_NONE) != 0) std::abort();
  }
  ~GuardedRegion() { munmap(base_, 2 * page_); }
  GuardedRegion(const GuardedRegion&) = delete;
  GuardedRegion& operator=(const GuardedRegion&) = delete;

  uint8_t* end() const { return base_ + page_; }
  size_t size() const { return page_; }

 private:
  size_t page_ = 0;
  uint8_t* base_ = nullptr;
};

Bytes eventLikeBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>("QNV trace \x01\x02"[random() % 12]);
  return bytes;
}

BlockHeader blockHeader(bool stored, size_t length) {
  const Bytes block = builder::buildBlock(1, stored, Bytes(length, 0));
  BlockHeader header;
  std::memcpy(header.bytes.data(), block.data(), header.bytes.size());
  return header;
}

// The carry-over buffer as the driver holds it: `carried` bytes of an
// unfinished event at the front, the free space behind them ending exactly at
// the guard page.
struct GuardedCarry {
  explicit GuardedCarry(int32_t capacity, const Bytes& carried)
      : buffer(region.end() - capacity),
        capacity(capacity),
        usedLength(static_cast<int32_t>(carried.size())) {
    std::memset(buffer, 0xEE, static_cast<size_t>(capacity));
    if (!carried.empty()) std::memcpy(buffer, carried.data(), carried.size());
  }
  int32_t freeSpace() const { return capacity - usedLength; }

  GuardedRegion region;
  uint8_t* buffer;
  int32_t capacity;
  int32_t usedLength;
};

// A payload as the driver's payload buffer holds it: `length` bytes and the
// one spare byte behind them, which is the last byte before a guard page.
struct GuardedPayload {
  explicit GuardedPayload(const Bytes& bytes) : data(region.end() - bytes.size() - 1) {
    std::memcpy(data, bytes.data(), bytes.size());
    data[bytes.size()] = 0;
  }
  GuardedRegion region;
  uint8_t* data;
};

constexpr int32_t kCapacity = 1024;

// Expansion under the run's carry-over contract: into the free space behind
// `usedLength`, which grows by the bytes produced and is unchanged on any
// failure. Keeps the library's code of the last failure.
struct Expander {
  ExpandResult operator()(const BlockHeader& header, const uint8_t* payload, uint8_t* buffer,
                          int32_t& usedLength, int32_t capacity) {
    const Expansion expansion = expandBlock(
        header, payload, {buffer + usedLength, static_cast<size_t>(capacity - usedLength)});
    if (expansion.result == ExpandResult::Expanded) {
      usedLength += static_cast<int32_t>(expansion.produced);
    } else {
      lastLibraryResult = expansion.libraryCode;
    }
    return expansion.result;
  }
  int32_t lastLibraryResult = 0;
};

TEST(ExpandBlock, StoredBlocksAreCopied) {
  Expander service;
  const Bytes first = eventLikeBytes(300, 1);
  const Bytes second = eventLikeBytes(200, 2);
  GuardedCarry carry(kCapacity, {});
  ASSERT_EQ(service(blockHeader(true, first.size()), GuardedPayload(first).data,
                        carry.buffer, carry.usedLength, carry.capacity),
            ExpandResult::Expanded);
  ASSERT_EQ(service(blockHeader(true, second.size()), GuardedPayload(second).data,
                        carry.buffer, carry.usedLength, carry.capacity),
            ExpandResult::Expanded);
  EXPECT_EQ(carry.usedLength, 500);
  EXPECT_EQ(0, std::memcmp(carry.buffer, first.data(), first.size()));
  EXPECT_EQ(0, std::memcmp(carry.buffer + 300, second.data(), second.size()));
}

TEST(ExpandBlock, CompressedBlocksAreDecompressedOneAfterTheOther) {
  Expander service;
  const Bytes first = eventLikeBytes(400, 3);
  const Bytes second = eventLikeBytes(350, 4);
  const Bytes firstStream = builder::compressNrv2b(first.data(), first.size());
  const Bytes secondStream = builder::compressNrv2b(second.data(), second.size());
  GuardedCarry carry(kCapacity, {});
  ASSERT_EQ(
      service(blockHeader(false, firstStream.size()), GuardedPayload(firstStream).data,
                  carry.buffer, carry.usedLength, carry.capacity),
      ExpandResult::Expanded);
  ASSERT_EQ(service(blockHeader(false, secondStream.size()),
                        GuardedPayload(secondStream).data, carry.buffer, carry.usedLength,
                        carry.capacity),
            ExpandResult::Expanded);
  EXPECT_EQ(service.lastLibraryResult, 0);
  EXPECT_EQ(carry.usedLength, 750);
  EXPECT_EQ(0, std::memcmp(carry.buffer, first.data(), first.size()));
  EXPECT_EQ(0, std::memcmp(carry.buffer + 400, second.data(), second.size()));
}

// The decompressed size is stored nowhere: only the free space bounds it.
TEST(ExpandBlock, StreamBoundedByFreeSpaceDownToTheLastByte) {
  const Bytes carried = eventLikeBytes(100, 5);
  const size_t freeSpace = kCapacity - carried.size();
  const Bytes exact = eventLikeBytes(freeSpace, 6);
  const Bytes exactStream = builder::compressNrv2b(exact.data(), exact.size());
  {
    Expander service;
    GuardedCarry carry(kCapacity, carried);
    EXPECT_EQ(service(blockHeader(false, exactStream.size()),
                          GuardedPayload(exactStream).data, carry.buffer, carry.usedLength,
                          carry.capacity),
              ExpandResult::Expanded);
    EXPECT_EQ(carry.usedLength, kCapacity);
    EXPECT_EQ(0, std::memcmp(carry.buffer, carried.data(), carried.size()));
    EXPECT_EQ(0, std::memcmp(carry.buffer + carried.size(), exact.data(), exact.size()));
  }
  Bytes oneMore = exact;
  oneMore.push_back('Q');
  const Bytes oneMoreStream = builder::compressNrv2b(oneMore.data(), oneMore.size());
  {
    Expander service;
    GuardedCarry carry(kCapacity, carried);
    // Would fault on the guard page if the library wrote the extra byte.
    EXPECT_EQ(service(blockHeader(false, oneMoreStream.size()),
                          GuardedPayload(oneMoreStream).data, carry.buffer, carry.usedLength,
                          carry.capacity),
              ExpandResult::DecompressFailed);
    EXPECT_EQ(service.lastLibraryResult, UCL_E_OUTPUT_OVERRUN);
    EXPECT_EQ(carry.usedLength, static_cast<int32_t>(carried.size()));
    EXPECT_EQ(0, std::memcmp(carry.buffer, carried.data(), carried.size()));
  }
}

TEST(ExpandBlock, StoredPayloadBoundedByFreeSpace) {
  // A record longer than the block size is being assembled: most of the
  // buffer is carried over and a full block no longer fits.
  const Bytes carried = eventLikeBytes(kCapacity - 300, 7);
  const Bytes exact = eventLikeBytes(300, 8);
  {
    Expander service;
    GuardedCarry carry(kCapacity, carried);
    EXPECT_EQ(service(blockHeader(true, exact.size()), GuardedPayload(exact).data,
                          carry.buffer, carry.usedLength, carry.capacity),
              ExpandResult::Expanded);
    EXPECT_EQ(carry.usedLength, kCapacity);
    EXPECT_EQ(0, std::memcmp(carry.buffer + carried.size(), exact.data(), exact.size()));
  }
  const Bytes oneMore = eventLikeBytes(301, 9);
  {
    Expander service;
    GuardedCarry carry(kCapacity, carried);
    EXPECT_EQ(service(blockHeader(true, oneMore.size()), GuardedPayload(oneMore).data,
                          carry.buffer, carry.usedLength, carry.capacity),
              ExpandResult::DecompressFailed);
    EXPECT_EQ(carry.usedLength, static_cast<int32_t>(carried.size()));
    EXPECT_EQ(carry.buffer[carried.size()], 0xEE) << "nothing copied";
  }
}

// A faulty stream fails with the library's own diagnosis, and the carried
// bytes and their count survive it.
void expectStreamFails(const Bytes& payload, int libraryResult) {
  const Bytes carried = eventLikeBytes(64, 10);
  Expander service;
  GuardedCarry carry(kCapacity, carried);
  EXPECT_EQ(service(blockHeader(false, payload.size()), GuardedPayload(payload).data,
                        carry.buffer, carry.usedLength, carry.capacity),
            ExpandResult::DecompressFailed);
  EXPECT_EQ(service.lastLibraryResult, libraryResult);
  EXPECT_EQ(carry.usedLength, static_cast<int32_t>(carried.size()));
  EXPECT_EQ(0, std::memcmp(carry.buffer, carried.data(), carried.size()));
}

TEST(ExpandBlock, FaultyStreamsFail) {
  const Bytes data = eventLikeBytes(500, 11);
  const Bytes stream = builder::compressNrv2b(data.data(), data.size());

  SCOPED_TRACE("a byte after the end marker");
  Bytes trailing = stream;
  trailing.push_back(0);
  expectStreamFails(trailing, UCL_E_INPUT_NOT_CONSUMED);

  // Cutting a stream short leaves the bits before the cut as they were, so the
  // decoder always runs out of input rather than misreading it.
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    SCOPED_TRACE("cut to " + std::to_string(cut) + " of " + std::to_string(stream.size()) +
                 " bytes");
    expectStreamFails(Bytes(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut)),
                      UCL_E_INPUT_OVERRUN);
  }
}

// Every compressor-made stream opens with a literal, announced by the top bit
// of its first byte. Clearing that bit turns the first item into a
// back-reference made before the block has produced anything, so it can only
// reach into the carried-over bytes in front of the output.
TEST(ExpandBlock, BackReferenceIntoCarriedBytesFails) {
  const Bytes data = eventLikeBytes(500, 12);
  Bytes stream = builder::compressNrv2b(data.data(), data.size());
  ASSERT_TRUE(stream[0] & 0x80) << "the stream does not open with a literal";
  stream[0] &= 0x7F;
  expectStreamFails(stream, UCL_E_LOOKBEHIND_OVERRUN);
}

// The library's bit reader fetches its next byte before it checks the input
// length, so a stream that runs out reads the byte at `length`. The driver's
// payload buffer keeps one spare byte for it; with that byte, no cut and no
// damage of a stream makes the library read further.
TEST(ExpandBlock, PayloadReadStaysWithinOneSpareByte) {
  const Bytes data = eventLikeBytes(600, 13);
  const Bytes stream = builder::compressNrv2b(data.data(), data.size());
  Expander service;
  for (size_t cut = 1; cut <= stream.size(); ++cut) {
    GuardedCarry carry(kCapacity, {});
    const Bytes payload(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
    const ExpandResult result =
        service(blockHeader(false, cut), GuardedPayload(payload).data, carry.buffer,
                    carry.usedLength, carry.capacity);
    EXPECT_EQ(result,
              cut == stream.size() ? ExpandResult::Expanded : ExpandResult::DecompressFailed);
  }
  GuardedCarry carry(kCapacity, {});
  GuardedPayload payload(stream);
  for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
    payload.data[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    carry.usedLength = 0;
    const ExpandResult result =
        service(blockHeader(false, stream.size()), payload.data, carry.buffer,
                    carry.usedLength, carry.capacity);
    if (result != ExpandResult::Expanded) {
      EXPECT_EQ(carry.usedLength, 0);
    }
    EXPECT_LE(carry.usedLength, carry.capacity);
    payload.data[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
  }
}

// Why the spare byte exists: without it, some cut of a stream makes the
// library touch the byte behind the payload (here the guard page). Should a
// future library stop doing so, this fails and the spare byte can go.
TEST(ExpandBlockDeathTest, PayloadWithoutSpareByteIsReadOneByteBeyond) {
  const Bytes data = eventLikeBytes(600, 14);
  const Bytes stream = builder::compressNrv2b(data.data(), data.size());
  EXPECT_DEATH(
      {
        Expander service;
        GuardedRegion payloadRegion;
        GuardedCarry carry(kCapacity, {});
        for (size_t cut = 1; cut < stream.size(); ++cut) {
          uint8_t* payload = payloadRegion.end() - cut;
          std::memcpy(payload, stream.data(), cut);
          service(blockHeader(false, cut), payload, carry.buffer, carry.usedLength,
                      carry.capacity);
        }
      },
      "");
}

}  // namespace
}  // namespace qnvtab
