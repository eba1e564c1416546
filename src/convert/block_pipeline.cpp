#include "convert/block_pipeline.h"

#include <cstring>
#include <new>

#include "trace/crc16.h"

namespace qnvtab {

BlockPipeline::BlockPipeline(WorkerPool& pool, ByteSource& source, const BlockLimits& limits,
                             uint16_t blockSize, size_t depth, size_t expandCapacity)
    : pool_(pool),
      reader_(source, limits.firstBlock, blockSize),
      limits_(limits),
      storage_(new (std::nothrow) uint8_t[depth * (reader_.bufferSize() + expandCapacity)]),
      slots_(depth) {
  if (!storage_) return;
  uint8_t* next = storage_.get();
  for (AheadBlock& slot : slots_) {
    slot.payload = next;
    slot.expanded = next + reader_.bufferSize();
    slot.expandCapacity = expandCapacity;
    next += reader_.bufferSize() + expandCapacity;
  }
}

BlockPipeline::~BlockPipeline() { drain(); }

size_t BlockPipeline::bufferSize() const {
  const size_t perSlot = reader_.bufferSize() + (slots_.empty() ? 0 : slots_[0].expandCapacity);
  return reader_.bufferSize() + slots_.size() * perSlot;
}

void BlockPipeline::AheadBlock::run() {
  checked = crc16(payload, header.length()) == header.checksum();
  if (checked) expansion = expandBlock(header, payload, {expanded, expandCapacity});
}

void BlockPipeline::drain() {
  for (; inFlight_ > 0; --inFlight_) {
    pool_.wait(slots_[oldest_]);
    oldest_ = (oldest_ + 1) % slots_.size();
  }
}

void BlockPipeline::restartAt(uint64_t offset, uint32_t expectedNumber) {
  drain();
  reader_.moveTo(offset, expectedNumber);
  readingStopped_ = false;
}

void BlockPipeline::readAhead() {
  CheckedBlock block;
  while (inFlight_ < slots_.size() && !readingStopped_ &&
         !limits_.reachedBy(reader_.offset(), reader_.expectedNumber())) {
    if (reader_.nextUnverified(block)) {
      readingStopped_ = true;
      return;
    }
    AheadBlock& slot = slots_[(oldest_ + inFlight_) % slots_.size()];
    slot.header = block.header;
    slot.number = block.number;
    slot.offset = block.offset;
    slot.nextOffset = reader_.offset();
    std::memcpy(slot.payload, block.payload, size_t{block.header.length()} + 1);
    pool_.submit(slot);
    ++inFlight_;
  }
}

bool BlockPipeline::takeNext(BlockReader& blocks, EventFramer& framer, size_t& produced) {
  if (inFlight_ > 0) {
    const AheadBlock& next = slots_[oldest_];
    if (next.offset != blocks.offset() || next.number != blocks.expectedNumber()) {
      restartAt(blocks.offset(), blocks.expectedNumber());
    }
  } else if (reader_.offset() != blocks.offset() ||
             reader_.expectedNumber() != blocks.expectedNumber()) {
    restartAt(blocks.offset(), blocks.expectedNumber());
  }
  readAhead();
  if (inFlight_ == 0) return false;
  AheadBlock& next = slots_[oldest_];
  pool_.wait(next);
  oldest_ = (oldest_ + 1) % slots_.size();
  --inFlight_;
  const std::span<uint8_t> freeSpace = framer.freeSpace();
  if (!next.checked || next.expansion.result != ExpandResult::Expanded ||
      next.expansion.produced > freeSpace.size()) {
    return false;
  }
  std::memcpy(freeSpace.data(), next.expanded, next.expansion.produced);
  framer.commit(next.expansion.produced);
  produced = next.expansion.produced;
  blocks.moveTo(next.nextOffset, next.number + 1);
  readAhead();
  return true;
}

}  // namespace qnvtab
