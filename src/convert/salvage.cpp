#include "convert/salvage.h"

#include <algorithm>
#include <bit>

namespace qnvtab {

SalvagePolicy::SalvagePolicy(ByteSource& source, IncidentReporter& reporter,
                             SalvageSummary& summary)
    : source_(source), reporter_(reporter), summary_(summary) {
  // Until the footer says otherwise.
  summary_.footerChecks = true;
}

void SalvagePolicy::begin(const HeaderRead& header, const BlockBounds& bounds) {
  bounds_ = bounds;
  head_ = &header.version.eventHead();
  if (header.version.recordsFirstEvent()) firstEventStamp_ = header.header.firstEventStamp();
  summary_.fileSize = static_cast<uint64_t>(header.fileSize);
}

bool SalvagePolicy::confirmedAfter(uint64_t end, uint32_t number) {
  // The last block, when the footer's count agrees or is unknown.
  if (end == bounds_.dataEnd) {
    return bounds_.blockCount == kHighestBlockNumber || number == bounds_.blockCount + 1;
  }
  if (number > bounds_.blockCount) return false;
  uint16_t length = 0;
  return blockChecksAt(source_, end, number, searchFrom(end), length);
}

BlockSearch SalvagePolicy::searchFrom(uint64_t from) const {
  BlockSearch search;
  search.from = from;
  search.dataEnd = bounds_.dataEnd;
  search.maxNumber = bounds_.blockCount;
  search.maxLength = bounds_.blockSize;
  return search;
}

Recovery SalvagePolicy::recover(const Fault& fault, BlockReader& blocks, EventFramer& framer) {
  const uint64_t at = fault.offset;
  const uint32_t number = fault.block;
  if (at >= bounds_.dataEnd && fault.kind != FaultKind::ReadFailed) return Recovery::EndOfData;
  switch (fault.kind) {
    case FaultKind::DecompressFailed:
    case FaultKind::StoredOverflow:
      // The block checked, so the reader is already past it.
      beginGap(fault, blocks.offset(), number, framer);
      return Recovery::Continue;
    case FaultKind::BlockNumber: {
      // Only a number that no block of the trace carries, or the right one
      // with a single bit set, is damage to the number alone. A lower
      // number may be a copy of a block already read, and another block's
      // number is a block out of place.
      const uint32_t found = static_cast<uint32_t>(fault.found);
      const bool numberDamaged =
          found > bounds_.blockCount || (found > number && std::popcount(found ^ number) == 1);
      uint16_t length = 0;
      if (numberDamaged && blockChecksAt(source_, at, found, searchFrom(at), length) &&
          confirmedAfter(at + layout::kBlockHeaderSize + length, number + 1)) {
        Incident repaired;
        repaired.kind = IncidentKind::NumberRepaired;
        repaired.cause = fault;
        repaired.afterEvent = framer.lastEventNumber();
        reporter_.report(repaired);
        damageBeforeMore_ = true;
        return Recovery::RetryWhateverItsNumber;
      }
      break;
    }
    case FaultKind::BlockHeaderCut:
    case FaultKind::BlockTooLong:
    case FaultKind::EmptyBlock:
    case FaultKind::PayloadCut:
    case FaultKind::PayloadChecksum:
      break;
    default:
      return Recovery::Stop;
  }
  return skipDamage(fault, blocks, framer);
}

// The damaged blocks' own lengths, while their headers are whole, lead to
// where the next blocks stand: a block found there with the number expected
// is believed on its own checksum, whatever follows it.
std::optional<FoundBlock> SalvagePolicy::blockAlongLengths(uint64_t at, uint32_t number) {
  uint64_t offset = at;
  for (uint32_t expected = number;; ++expected) {
    uint8_t head[layout::kBlockHeaderSize];
    if (source_.readAt(offset, head, sizeof head).bytes != sizeof head) return {};
    // The failed block's number may be what is damaged; past it, only a
    // header with the number expected is followed.
    const uint32_t found = loadU16(head + layout::kBlockNumberOffset) & layout::kBlockNumberMask;
    if (expected != number && found != expected) return {};
    const uint16_t length = loadU16(head + layout::kBlockLengthOffset);
    if (length == 0 || length > bounds_.blockSize) return {};
    offset += layout::kBlockHeaderSize + length;
    if (offset > bounds_.dataEnd) return {};
    if (confirmedAfter(offset, expected + 1)) return FoundBlock{offset, expected + 1};
    if (offset == bounds_.dataEnd || expected >= bounds_.blockCount) return {};
  }
}

// The cheap repair first: the damaged blocks skipped along their lengths;
// else the next confirmed block anywhere further on.
Recovery SalvagePolicy::skipDamage(const Fault& fault, BlockReader& blocks, EventFramer& framer) {
  const uint64_t at = fault.offset;
  const uint32_t number = fault.block;
  if (const std::optional<FoundBlock> next = blockAlongLengths(at, number)) {
    blocks.moveTo(next->offset, next->number);
    beginGap(fault, next->offset, next->number - 1, framer);
    return Recovery::Continue;
  }
  // From the fault's own offset: a block lost whole leaves the next one
  // there, numbered higher. The block that failed is not found again: its
  // checksum or its number fails as before.
  BlockSearch search = searchFrom(at);
  search.minNumber = number;
  if (std::optional<FoundBlock> found = findNextBlock(source_, search)) {
    blocks.moveTo(found->offset, found->number);
    if (found->number == number) {
      // Nothing of the stream is lost: bytes were inserted between blocks.
      Incident skipped;
      skipped.kind = IncidentKind::BytesSkipped;
      skipped.cause = fault;
      skipped.from = at;
      skipped.to = found->offset;
      skipped.afterEvent = framer.lastEventNumber();
      account(skipped);
      damageBeforeMore_ = true;
      reporter_.report(skipped);
    } else {
      beginGap(fault, found->offset, found->number - 1, framer);
    }
    return Recovery::Continue;
  }
  endTornTail(fault, framer);
  return Recovery::EndOfData;
}

// Nothing after `fault` is a block: the end of a recording cut short.
void SalvagePolicy::endTornTail(const Fault& fault, EventFramer& framer) {
  endGap();
  Incident tail;
  tail.kind = IncidentKind::TornTail;
  tail.cause = fault;
  tail.from = fault.offset;
  tail.to = bounds_.dataEnd;
  if (bounds_.blockCount != kHighestBlockNumber) {
    tail.firstLostBlock = fault.block;
    tail.lastLostBlock = bounds_.blockCount;
  }
  tail.droppedStreamBytes = framer.carriedBytes();
  tail.afterEvent = framer.lastEventNumber();
  framer.discard(framer.carriedBytes());
  account(tail);
  summary_.endDamage = true;
  reporter_.report(tail);
}

void SalvagePolicy::beginGap(const Fault& cause, uint64_t to, uint32_t lastLost,
                             EventFramer& framer) {
  endGap();
  Incident gap;
  gap.cause = cause;
  gap.from = cause.offset;
  gap.to = to;
  gap.firstLostBlock = cause.block;
  gap.lastLostBlock = lastLost;
  gap.droppedStreamBytes = framer.carriedBytes();
  gap.afterEvent = framer.lastEventNumber();
  // The carried start of a record lost its end with the block.
  framer.discard(framer.carriedBytes());
  damageBeforeMore_ = true;
  gap_ = gap;
}

void SalvagePolicy::account(const Incident& incident) {
  summary_.bytesSkipped += incident.to - incident.from;
  if (incident.firstLostBlock != 0) {
    summary_.blocksLost += incident.lastLostBlock - incident.firstLostBlock + 1;
  }
  summary_.streamBytesLost += incident.droppedStreamBytes;
  if (incident.firstLostBlock != 0 || incident.droppedStreamBytes != 0) ++summary_.gaps;
}

void SalvagePolicy::endGap() {
  if (!gap_) return;
  account(*gap_);
  reporter_.report(*gap_);
  gap_.reset();
}

bool SalvagePolicy::beforeFraming(EventFramer& framer, FramingPoint point) {
  const bool endOfData = point == FramingPoint::EndOfData;
  if (endOfData && damageBeforeMore_) summary_.endDamage = true;
  if (!gap_) return true;
  // Before a fault, the bytes held may be all that this stretch of the
  // stream holds, so they are judged as if the data ended there.
  const bool lastBytes = point != FramingPoint::AfterBlock;
  const std::span<const uint8_t> held = framer.held();
  const size_t blockSize = bounds_.blockSize;
  // Waiting keeps room behind the held bytes for the next block, which
  // may expand to two blocks' worth.
  const bool mayWait = !lastBytes && held.size() <= (kSalvageBlocksHeld - 2) * blockSize;
  ChainRules rules = chooseChainRules(health_, firstEventStamp_, 2 * blockSize);
  rules.traceEnds = endOfData;
  const BoundarySearch search = boundaries_.find(held, *head_, rules, lastBytes, mayWait);
  framer.discard(search.offset);
  gap_->droppedStreamBytes += search.offset;
  // A stream that goes on after a fault is still searched; at the end of
  // the data, the gap ends with it.
  if (search.result == BoundarySearch::Found || endOfData) endGap();
  return search.result == BoundarySearch::Found;
}

void SalvagePolicy::blockRead() {
  ++summary_.blocksRead;
  if (damageBeforeMore_) summary_.interiorDamage = true;
  damageBeforeMore_ = false;
}

void SalvagePolicy::framed(const RecordRun& run) {
  health_.observe(run, *head_);
  summary_.streamBytesRead += run.size;
}

}  // namespace qnvtab
