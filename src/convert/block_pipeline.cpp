#include "convert/block_pipeline.h"

#include <cstring>
#include <new>

#include "trace/crc16.h"

namespace qnvtab {

BlockPipeline::BlockPipeline(WorkerPool& pool, ByteSource& source, const BlockLimits& limits,
                             uint16_t blockSize, size_t groups, size_t expandCapacity)
    : reader_(source, limits.firstBlock, blockSize),
      limits_(limits),
      blocksPerGroup_(kGroupPayload / (size_t{blockSize} + 1)),
      storage_(new (std::nothrow)
                   uint8_t[groups * blocksPerGroup_ * (reader_.bufferSize() + expandCapacity)]),
      groups_(pool, groups) {
  if (!storage_) return;
  uint8_t* next = storage_.get();
  for (Group& group : groups_.jobs()) {
    group.blocks.reserve(blocksPerGroup_);
    group.payloadStride = reader_.bufferSize();
    group.expandCapacity = expandCapacity;
    group.payloads = next;
    next += blocksPerGroup_ * group.payloadStride;
    group.expanded = next;
    next += blocksPerGroup_ * expandCapacity;
  }
}

size_t BlockPipeline::bufferSize() const {
  const size_t perBlock = reader_.bufferSize() + groups_.oldest().expandCapacity;
  return reader_.bufferSize() + groups_.size() * blocksPerGroup_ * perBlock;
}

void BlockPipeline::Group::run() {
  for (size_t i = 0; i < blocks.size(); ++i) {
    AheadBlock& block = blocks[i];
    const uint8_t* payload = payloads + i * payloadStride;
    block.checked = crc16(payload, block.header.length()) == block.header.checksum();
    // A stored block is copied once, into the framer, when it is taken.
    if (block.checked && !block.header.storedFlag()) {
      block.expansion =
          expandBlock(block.header, payload, {expanded + i * expandCapacity, expandCapacity});
    }
  }
}

void BlockPipeline::restartAt(uint64_t offset, uint32_t expectedNumber) {
  groups_.drain([](Group& group) { group.blocks.clear(); });
  reader_.moveTo(offset, expectedNumber);
  readingStopped_ = false;
}

// Reads blocks into `group` up to its size, the limits or the first block
// that fails to read; true when it holds any.
bool BlockPipeline::fillGroup(Group& group) {
  CheckedBlock block;
  group.blocks.clear();
  group.taken = 0;
  while (group.blocks.size() < blocksPerGroup_ &&
         !limits_.reachedBy(reader_.offset(), reader_.expectedNumber())) {
    if (reader_.nextUnverified(block, group.payloads + group.blocks.size() * group.payloadStride)) {
      readingStopped_ = true;
      break;
    }
    AheadBlock& ahead = group.blocks.emplace_back();
    ahead.header = block.header;
    ahead.number = block.number;
    ahead.offset = block.offset;
    ahead.nextOffset = reader_.offset();
  }
  return !group.blocks.empty();
}

void BlockPipeline::readAhead() {
  while (!groups_.full() && !readingStopped_ &&
         !limits_.reachedBy(reader_.offset(), reader_.expectedNumber())) {
    if (!fillGroup(groups_.next())) return;
    groups_.submitNext();
  }
}

// Whether the block that takeNext() hands over next, the oldest not yet
// taken or, with none in flight, the one the reader comes to, is where
// `blocks` stands.
bool BlockPipeline::aheadAt(const BlockReader& blocks) const {
  if (groups_.inFlight() == 0) {
    return reader_.offset() == blocks.offset() &&
           reader_.expectedNumber() == blocks.expectedNumber();
  }
  const Group& oldest = groups_.oldest();
  const AheadBlock& next = oldest.blocks[oldest.taken];
  return next.offset == blocks.offset() && next.number == blocks.expectedNumber();
}

bool BlockPipeline::takeNext(BlockReader& blocks, EventFramer& framer, BlockTally& tally) {
  if (!aheadAt(blocks)) restartAt(blocks.offset(), blocks.expectedNumber());
  readAhead();
  if (groups_.inFlight() == 0) return false;
  Group& group = groups_.waitOldest();
  const size_t index = group.taken++;
  const AheadBlock& next = group.blocks[index];
  if (group.taken == group.blocks.size()) groups_.releaseOldest();
  const std::span<uint8_t> freeSpace = framer.freeSpace();
  if (!next.checked) return false;
  size_t produced = 0;
  if (next.header.storedFlag()) {
    const Expansion stored =
        expandBlock(next.header, group.payloads + index * group.payloadStride, freeSpace);
    if (stored.result != ExpandResult::Expanded) return false;
    produced = stored.produced;
  } else {
    if (next.expansion.result != ExpandResult::Expanded ||
        next.expansion.produced > freeSpace.size()) {
      return false;
    }
    std::memcpy(freeSpace.data(), group.expanded + index * group.expandCapacity,
                next.expansion.produced);
    produced = next.expansion.produced;
  }
  framer.commit(produced);
  tally.count(next.header, produced);
  blocks.moveTo(next.nextOffset, next.number + 1);
  readAhead();
  return true;
}

}  // namespace qnvtab
