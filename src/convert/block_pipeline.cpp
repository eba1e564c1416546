#include "convert/block_pipeline.h"

#include <cstring>
#include <new>

#include "trace/crc16.h"

namespace qnvtab {

BlockPipeline::BlockPipeline(WorkerPool& pool, ByteSource& source, const BlockLimits& limits,
                             uint16_t blockSize, size_t groups, size_t expandCapacity)
    : pool_(pool),
      reader_(source, limits.firstBlock, blockSize),
      limits_(limits),
      blocksPerGroup_(kGroupPayload / (size_t{blockSize} + 1)),
      storage_(new (std::nothrow)
                   uint8_t[groups * blocksPerGroup_ * (reader_.bufferSize() + expandCapacity)]),
      groups_(groups) {
  if (!storage_) return;
  uint8_t* next = storage_.get();
  for (Group& group : groups_) {
    group.blocks.reserve(blocksPerGroup_);
    group.payloadStride = reader_.bufferSize();
    group.expandCapacity = expandCapacity;
    group.payloads = next;
    next += blocksPerGroup_ * group.payloadStride;
    group.expanded = next;
    next += blocksPerGroup_ * expandCapacity;
  }
}

BlockPipeline::~BlockPipeline() { drain(); }

size_t BlockPipeline::bufferSize() const {
  const size_t perBlock = reader_.bufferSize() + (groups_.empty() ? 0 : groups_[0].expandCapacity);
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

void BlockPipeline::drain() {
  for (; inFlight_ > 0; --inFlight_) {
    pool_.wait(groups_[oldest_]);
    groups_[oldest_].blocks.clear();
    oldest_ = (oldest_ + 1) % groups_.size();
  }
}

void BlockPipeline::restartAt(uint64_t offset, uint32_t expectedNumber) {
  drain();
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
  while (inFlight_ < groups_.size() && !readingStopped_ &&
         !limits_.reachedBy(reader_.offset(), reader_.expectedNumber())) {
    Group& group = groups_[(oldest_ + inFlight_) % groups_.size()];
    if (!fillGroup(group)) return;
    pool_.submit(group);
    ++inFlight_;
  }
}

// Whether the block that takeNext() hands over next, the oldest not yet
// taken or, with none in flight, the one the reader comes to, is where
// `blocks` stands.
bool BlockPipeline::aheadAt(const BlockReader& blocks) const {
  if (inFlight_ == 0) {
    return reader_.offset() == blocks.offset() &&
           reader_.expectedNumber() == blocks.expectedNumber();
  }
  const Group& oldest = groups_[oldest_];
  const AheadBlock& next = oldest.blocks[oldest.taken];
  return next.offset == blocks.offset() && next.number == blocks.expectedNumber();
}

bool BlockPipeline::takeNext(BlockReader& blocks, EventFramer& framer) {
  if (!aheadAt(blocks)) restartAt(blocks.offset(), blocks.expectedNumber());
  readAhead();
  if (inFlight_ == 0) return false;
  Group& group = groups_[oldest_];
  pool_.wait(group);
  const size_t index = group.taken++;
  const AheadBlock& next = group.blocks[index];
  if (group.taken == group.blocks.size()) {
    oldest_ = (oldest_ + 1) % groups_.size();
    --inFlight_;
  }
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
  blocks.moveTo(next.nextOffset, next.number + 1);
  readAhead();
  return true;
}

}  // namespace qnvtab
