#include "convert/convert_trace.h"

#include <memory>

#include "convert/block_pipeline.h"
#include "decompress/expand_block.h"
#include "events/event_framer.h"
#include "trace/block_reader.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"

namespace qnvtab {
namespace {

// The options that a trace of `version` supports, and whether any asked
// for had to be dropped.
RowOptions supportedOptions(const RowOptions& asked, TraceVersion version, bool& switchedOff) {
  RowOptions options = asked;
  if (!version.recordsFirstEvent()) {
    switchedOff = asked.informativeHeader || asked.timesRelativeToFirstEvent;
    options.informativeHeader = false;
    options.timesRelativeToFirstEvent = false;
  }
  return options;
}

// Expands `block` into the framer; the fault when it does not fit.
std::optional<Fault> expandInto(EventFramer& framer, const CheckedBlock& block,
                                BlockTally& tally) {
  const std::span<uint8_t> freeSpace = framer.freeSpace();
  const Expansion expansion = expandBlock(block.header, block.payload, freeSpace);
  if (expansion.result == ExpandResult::Expanded) {
    framer.commit(expansion.produced);
    tally.count(block.header, expansion.produced);
    return std::nullopt;
  }
  return expansionFault(expansion, block, freeSpace.size());
}

// The records of the bytes just added go to the sink; whether it goes on.
bool frameRecords(EventFramer& framer, FaultPolicy& policy, RowSink& sink, FramingPoint point,
                  ConversionOutcome& outcome) {
  if (!policy.beforeFraming(framer, point)) return true;
  const RecordRun run = framer.takeRecords();
  policy.framed(run);
  const bool goOn = sink.write(run);
  outcome.events = framer.lastEventNumber();
  return goOn;
}

// Reads, checks and expands the next block into the framer, ahead on the
// workers where it can; the fault that stops it otherwise.
std::optional<Fault> nextBlock(BlockReader& blocks, BlockPipeline* ahead, bool takeAnyNumber,
                               EventFramer& framer, BlockTally& tally) {
  if (ahead != nullptr && !takeAnyNumber && ahead->takeNext(blocks, framer, tally)) {
    return std::nullopt;
  }
  CheckedBlock block;
  std::optional<Fault> fault =
      takeAnyNumber ? blocks.nextWhateverItsNumber(block) : blocks.next(block);
  if (!fault) fault = expandInto(framer, block, tally);
  return fault;
}

// The block loop: it ends at the limits, when the policy stops it at a
// fault, when the output fails or is complete, or when the observer asks
// to stop.
void convertBlocks(BlockReader& blocks, BlockPipeline* ahead, const BlockLimits& limits,
                   EventFramer& framer, FaultPolicy& policy, RowSink& sink,
                   ConversionObserver* observer, ConversionOutcome& outcome) {
  bool takeAnyNumber = false;
  while (!limits.reachedBy(blocks.offset(), blocks.expectedNumber())) {
    if (observer != nullptr && observer->stopRequested()) {
      outcome.stopped = true;
      return;
    }
    const std::optional<Fault> fault = nextBlock(blocks, ahead, takeAnyNumber, framer, outcome.blocks);
    takeAnyNumber = false;
    if (fault) {
      if (!frameRecords(framer, policy, sink, FramingPoint::BeforeFault, outcome)) return;
      const Recovery recovery = policy.recover(*fault, blocks, framer);
      if (recovery == Recovery::Stop) outcome.fault = fault;
      if (recovery == Recovery::Stop || recovery == Recovery::EndOfData) break;
      takeAnyNumber = recovery == Recovery::RetryWhateverItsNumber;
      continue;
    }
    policy.blockRead();
    if (!frameRecords(framer, policy, sink, FramingPoint::AfterBlock, outcome)) return;
    if (observer != nullptr) {
      observer->blockConverted(blocks.offset() - limits.firstBlock, limits.dataLength,
                               outcome.events);
    }
  }
  if (outcome.fault) return;
  frameRecords(framer, policy, sink, FramingPoint::EndOfData, outcome);
  outcome.droppedBytes = framer.carriedBytes();
}

// The header, and the limits of the blocks from the footer; the policy
// decides at a fault of either. The header taken and a footer that checks
// are kept in `outcome`.
std::optional<Fault> readHeaderAndLimits(ByteSource& source, FaultPolicy& policy,
                                         HeaderRead& header, BlockLimits& limits,
                                         BlockBounds& bounds, ConversionOutcome& outcome) {
  if (std::optional<Fault> fault = readTraceHeader(source, header)) {
    if ((fault = policy.headerFault(*fault, source, header))) return fault;
  }
  outcome.header = header;
  limits.firstBlock = header.layoutSize;
  TraceFooter footer;
  if (std::optional<Fault> fault =
          readTraceFooter(source, header.fileSize, header.layoutSize, footer)) {
    return policy.footerFault(*fault, header, footer, limits, bounds);
  }
  outcome.footer = footer;
  limits.blockCount = footer.blockCount();
  limits.dataLength = footer.dataLength();
  // Blocks found again after damage may lie anywhere before the footer:
  // bytes inserted move them past dataLength.
  bounds.dataEnd = static_cast<uint64_t>(header.fileSize) - layout::kFooterSize;
  bounds.blockSize = footer.blockSize();
  bounds.blockCount = footer.blockCount();
  return std::nullopt;
}

}  // namespace

ConversionOutcome convertTrace(ByteSource& source, const ConversionSettings& settings,
                               RowSink& sink, ConversionObserver* observer,
                               IncidentReporter* reporter) {
  ConversionOutcome outcome;
  StopAtFirstFault strict;
  std::optional<SalvagePolicy> salvaging;
  if (settings.salvage && reporter != nullptr) {
    salvaging.emplace(source, *reporter, outcome.salvage);
  }
  FaultPolicy& policy = salvaging ? static_cast<FaultPolicy&>(*salvaging) : strict;

  HeaderRead header;
  BlockLimits limits;
  BlockBounds bounds;
  if ((outcome.fault = readHeaderAndLimits(source, policy, header, limits, bounds, outcome))) {
    return outcome;
  }
  policy.begin(header, bounds);
  sink.begin(header.header, header.version,
             supportedOptions(settings.rows, header.version, outcome.optionsSwitchedOff));

  BlockReader blocks(source, header.layoutSize, bounds.blockSize);
  const size_t blocksHeld = policy.blocksHeld();
  EventFramer framer(header.version.eventHead(), blocksHeld * bounds.blockSize);
  std::optional<BlockPipeline> ahead;
  if (settings.workers != nullptr && settings.workers->size() > 0) {
    // Enough groups in flight to keep every worker busy while the oldest
    // is taken; each block expands into at most what a strict run holds.
    const size_t groups = size_t{settings.workers->size()} + 2;
    ahead.emplace(*settings.workers, source, limits, bounds.blockSize, groups,
                  2 * size_t{bounds.blockSize});
  }
  if (!blocks.allocated() || !framer.allocated() || (ahead && !ahead->allocated())) {
    outcome.fault = outOfMemory(blocks.bufferSize() + blocksHeld * bounds.blockSize +
                                (ahead ? ahead->bufferSize() : 0));
  } else {
    convertBlocks(blocks, ahead ? &*ahead : nullptr, limits, framer, policy, sink, observer,
                  outcome);
  }
  if (!sink.finish()) outcome.writeFailed = true;
  return outcome;
}

}  // namespace qnvtab
