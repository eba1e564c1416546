#include "convert/convert_trace.h"

#include <memory>

#include "convert/block_pipeline.h"
#include "decompress/expand_block.h"
#include "events/event_framer.h"
#include "trace/block_reader.h"
#include "trace/block_scanner.h"
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
                                size_t& produced) {
  const std::span<uint8_t> freeSpace = framer.freeSpace();
  const Expansion expansion = expandBlock(block.header, block.payload, freeSpace);
  if (expansion.result == ExpandResult::Expanded) {
    framer.commit(expansion.produced);
    produced = expansion.produced;
    return std::nullopt;
  }
  FaultKind kind = FaultKind::DecompressFailed;
  if (expansion.result == ExpandResult::ServiceUnavailable) {
    kind = FaultKind::LibraryUnavailable;
  } else if (block.header.storedFlag()) {
    kind = FaultKind::StoredOverflow;
  }
  Fault fault = makeFault(kind, block.offset, block.number);
  fault.found = block.header.length();
  fault.expected = freeSpace.size();
  fault.libraryCode = expansion.libraryCode;
  return fault;
}

// The records of the bytes just added go to the sink.
void frameRecords(EventFramer& framer, FaultPolicy& policy, RowSink& sink, bool endOfData,
                  ConversionOutcome& outcome) {
  if (!policy.beforeFraming(framer, endOfData)) return;
  const RecordRun run = framer.takeRecords();
  policy.framed(run);
  sink.write(run);
  outcome.events = framer.lastEventNumber();
}

// Reads, checks and expands the next block into the framer, ahead on the
// workers where it can; the fault that stops it otherwise.
std::optional<Fault> nextBlock(BlockReader& blocks, BlockPipeline* ahead, bool takeAnyNumber,
                               EventFramer& framer, size_t& produced) {
  if (ahead != nullptr && !takeAnyNumber && ahead->takeNext(blocks, framer, produced)) {
    return std::nullopt;
  }
  CheckedBlock block;
  std::optional<Fault> fault =
      takeAnyNumber ? blocks.nextWhateverItsNumber(block) : blocks.next(block);
  if (!fault) fault = expandInto(framer, block, produced);
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
    size_t produced = 0;
    const std::optional<Fault> fault = nextBlock(blocks, ahead, takeAnyNumber, framer, produced);
    takeAnyNumber = false;
    if (fault) {
      const Recovery recovery = policy.recover(*fault, blocks, framer);
      if (recovery == Recovery::Stop) outcome.fault = fault;
      if (recovery == Recovery::Stop || recovery == Recovery::EndOfData) break;
      takeAnyNumber = recovery == Recovery::RetryWhateverItsNumber;
      continue;
    }
    policy.blockRead(produced);
    frameRecords(framer, policy, sink, false, outcome);
    if (sink.failed() || sink.complete()) return;
    if (observer != nullptr) {
      observer->blockConverted(blocks.offset() - limits.firstBlock, limits.dataLength,
                               outcome.events);
    }
  }
  if (outcome.fault) return;
  frameRecords(framer, policy, sink, true, outcome);
  outcome.droppedBytes = framer.carriedBytes();
}

}  // namespace

namespace {

// The header, or in salvage its text alone when block 1 checks behind it.
std::optional<Fault> readHeader(ByteSource& source, bool salvage, IncidentReporter* reporter,
                                HeaderRead& header, SalvageSummary& summary) {
  const std::optional<Fault> fault = readTraceHeader(source, header);
  if (!fault || !salvage || fault->kind == FaultKind::ReadFailed) return fault;
  BlockSearch firstBlock;
  firstBlock.dataEnd = static_cast<uint64_t>(header.fileSize);
  uint16_t length = 0;
  if (readHeaderByText(source, header) ||
      !blockChecksAt(source, header.layoutSize, 1, firstBlock, length)) {
    return fault;
  }
  Incident unverified;
  unverified.kind = IncidentKind::UnverifiedHeader;
  unverified.cause = *fault;
  unverified.cause.found = header.layoutSize;
  reporter->report(unverified);
  summary.interiorDamage = true;
  return std::nullopt;
}

// The block limits from the footer, or in salvage without a footer to
// trust, the whole rest of the file.
std::optional<Fault> readLimits(ByteSource& source, const HeaderRead& header, bool salvage,
                                IncidentReporter* reporter, TraceFooter& footer,
                                BlockLimits& limits, SalvageBounds& bounds,
                                SalvageSummary& summary) {
  const uint64_t fileSize = static_cast<uint64_t>(header.fileSize);
  limits.firstBlock = header.layoutSize;
  const std::optional<Fault> fault =
      readTraceFooter(source, header.fileSize, header.layoutSize, footer);
  if (!fault) {
    limits.blockCount = footer.blockCount();
    limits.dataLength = footer.dataLength();
    // Blocks found again after damage may lie anywhere before the footer:
    // bytes inserted move them past dataLength.
    bounds.dataEnd = fileSize - layout::kFooterSize;
    bounds.blockSize = footer.blockSize();
    bounds.blockCount = footer.blockCount();
    return std::nullopt;
  }
  if (!salvage || fault->kind == FaultKind::ReadFailed) return fault;
  Incident ignored;
  ignored.kind = IncidentKind::FooterIgnored;
  ignored.cause = *fault;
  reporter->report(ignored);
  summary.endDamage = true;
  // A footer that checks but disagrees still takes the last 16 bytes.
  bounds.dataEnd = fault->kind == FaultKind::FooterChecksum ? fileSize
                                                            : fileSize - layout::kFooterSize;
  limits.blockCount = bounds.blockCount;
  limits.byDataLength = false;
  limits.dataLength = static_cast<uint32_t>(bounds.dataEnd - header.layoutSize);
  return std::nullopt;
}

}  // namespace

ConversionOutcome convertTrace(ByteSource& source, const ConversionSettings& settings,
                               RowSink& sink, ConversionObserver* observer,
                               IncidentReporter* reporter) {
  ConversionOutcome outcome;
  HeaderRead header;
  TraceFooter footer;
  BlockLimits limits;
  SalvageBounds bounds;
  const bool salvage = settings.salvage && reporter != nullptr;
  if ((outcome.fault = readHeader(source, salvage, reporter, header, outcome.salvage)) ||
      (outcome.fault = readLimits(source, header, salvage, reporter, footer, limits, bounds,
                                  outcome.salvage))) {
    return outcome;
  }
  outcome.salvage.fileSize = static_cast<uint64_t>(header.fileSize);
  sink.begin(header.header, header.version,
             supportedOptions(settings.rows, header.version, outcome.optionsSwitchedOff));

  BlockReader blocks(source, header.layoutSize, bounds.blockSize);
  // Salvage holds more, so that the records after a gap can be judged
  // while the next block still fits behind them.
  const size_t blocksHeld = salvage ? kSalvageBlocksHeld : 2;
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
    outcome.fault = makeFault(FaultKind::OutOfMemory);
    outcome.fault->found = blocks.bufferSize() + blocksHeld * bounds.blockSize +
                           (ahead ? ahead->bufferSize() : 0);
  } else {
    StopAtFirstFault strict;
    std::optional<SalvagePolicy> salvaging;
    if (salvage) {
      const std::optional<uint32_t> firstEventStamp =
          header.version.recordsFirstEvent() ? std::optional(header.header.firstEventStamp())
                                             : std::nullopt;
      salvaging.emplace(source, bounds, header.version.eventHead(), firstEventStamp, *reporter,
                        outcome.salvage);
    }
    FaultPolicy& policy = salvaging ? static_cast<FaultPolicy&>(*salvaging) : strict;
    convertBlocks(blocks, ahead ? &*ahead : nullptr, limits, framer, policy, sink, observer,
                  outcome);
  }
  if (!sink.finish()) outcome.writeFailed = true;
  return outcome;
}

}  // namespace qnvtab
