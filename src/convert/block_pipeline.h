// Blocks read ahead in file order, checked and expanded on a worker pool,
// taken back one by one in order, by the rules of parallel/ordered_jobs.h. Blocks go to the workers in groups, so
// that a job is long enough to be worth handing over; a stored block is
// only checked there, and copied once, when it is taken. Only what the
// serial loop would accept is taken: a block that fails to read, check or
// expand, or that would not fit the framer's free space, is left to the
// serial loop, which reads it again and so reports exactly the fault it
// always reports.
#ifndef QNVTAB_CONVERT_BLOCK_PIPELINE_H_
#define QNVTAB_CONVERT_BLOCK_PIPELINE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "decompress/expand_block.h"
#include "events/event_framer.h"
#include "parallel/ordered_jobs.h"
#include "parallel/worker_pool.h"
#include "trace/block_reader.h"

namespace qnvtab {

// Where the block loop ends: after blockCount blocks, or when the blocks
// read add up to dataLength (modulo 2^32, so that an overshoot leaves
// blockCount to end the loop). Without a footer to trust, at the end of
// the file.
struct BlockLimits {
  uint64_t firstBlock = 0;
  uint32_t blockCount = 0;
  uint32_t dataLength = 0;
  bool byDataLength = true;

  // Whether the block that `blocks` would read next lies past the limits.
  bool reachedBy(uint64_t nextOffset, uint32_t expectedNumber) const {
    const uint32_t remaining = dataLength - static_cast<uint32_t>(nextOffset - firstBlock);
    return (byDataLength && remaining == 0) || expectedNumber > blockCount;
  }
};

class BlockPipeline {
 public:
  // The payload bytes that make up a group of blocks: at least two of the
  // largest.
  static constexpr size_t kGroupPayload = size_t{128} << 10;

  // Keeps up to `groups` groups of blocks of at most `blockSize` bytes in
  // flight, each block expanding into at most `expandCapacity` bytes.
  BlockPipeline(WorkerPool& pool, ByteSource& source, const BlockLimits& limits,
                uint16_t blockSize, size_t groups, size_t expandCapacity);
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  bool allocated() const { return reader_.allocated() && storage_ != nullptr; }
  size_t bufferSize() const;

  // The block that `blocks` would read next, expanded into the framer's
  // free space, after which `blocks` stands behind it. False, with nothing
  // changed, when the serial loop must take that block itself. Reading
  // ahead restarts wherever `blocks` has been moved to. A block taken is
  // counted in `tally`.
  bool takeNext(BlockReader& blocks, EventFramer& framer, BlockTally& tally);

 private:
  struct AheadBlock {
    BlockHeader header;
    uint32_t number = 0;
    uint64_t offset = 0;
    uint64_t nextOffset = 0;
    bool checked = false;  // the payload matches its checksum
    Expansion expansion;
  };
  struct Group : PoolJob {
    void run() override;

    std::vector<AheadBlock> blocks;
    uint8_t* payloads = nullptr;  // a block's payload and spare byte each
    uint8_t* expanded = nullptr;  // expandCapacity bytes per block
    size_t payloadStride = 0;
    size_t expandCapacity = 0;
    size_t taken = 0;  // blocks handed to the framer
  };

  bool aheadAt(const BlockReader& blocks) const;
  void restartAt(uint64_t offset, uint32_t expectedNumber);
  void readAhead();
  bool fillGroup(Group& group);

  BlockReader reader_;
  const BlockLimits limits_;
  const size_t blocksPerGroup_;
  std::unique_ptr<uint8_t[]> storage_;  // every group's payloads and expansions
  bool readingStopped_ = false;  // a block failed to read: the rest waits
  // Last: its jobs are waited for before anything they use goes. The
  // oldest group is the one the next block comes from.
  JobRing<Group> groups_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_BLOCK_PIPELINE_H_
