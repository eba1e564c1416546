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
std::optional<Fault> expandInto(EventFramer& framer, const CheckedBlock& block) {
  const std::span<uint8_t> freeSpace = framer.freeSpace();
  const Expansion expansion = expandBlock(block.header, block.payload, freeSpace);
  if (expansion.result == ExpandResult::Expanded) {
    framer.commit(expansion.produced);
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
void frameRecords(EventFramer& framer, FaultPolicy& policy, RowSink& sink, FramingPoint point,
                  ConversionOutcome& outcome) {
  if (!policy.beforeFraming(framer, point)) return;
  const RecordRun run = framer.takeRecords();
  policy.framed(run);
  sink.write(run);
  outcome.events = framer.lastEventNumber();
}

// Reads, checks and expands the next block into the framer, ahead on the
// workers where it can; the fault that stops it otherwise.
std::optional<Fault> nextBlock(BlockReader& blocks, BlockPipeline* ahead, bool takeAnyNumber,
                               EventFramer& framer) {
  if (ahead != nullptr && !takeAnyNumber && ahead->takeNext(blocks, framer)) {
    return std::nullopt;
  }
  CheckedBlock block;
  std::optional<Fault> fault =
      takeAnyNumber ? blocks.nextWhateverItsNumber(block) : blocks.next(block);
  if (!fault) fault = expandInto(framer, block);
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
    const std::optional<Fault> fault = nextBlock(blocks, ahead, takeAnyNumber, framer);
    takeAnyNumber = false;
    if (fault) {
      frameRecords(framer, policy, sink, FramingPoint::BeforeFault, outcome);
      if (sink.failed() || sink.complete()) return;
      const Recovery recovery = policy.recover(*fault, blocks, framer);
      if (recovery == Recovery::Stop) outcome.fault = fault;
      if (recovery == Recovery::Stop || recovery == Recovery::EndOfData) break;
      takeAnyNumber = recovery == Recovery::RetryWhateverItsNumber;
      continue;
    }
    policy.blockRead();
    frameRecords(framer, policy, sink, FramingPoint::AfterBlock, outcome);
    if (sink.failed() || sink.complete()) return;
    if (observer != nullptr) {
      observer->blockConverted(blocks.offset() - limits.firstBlock, limits.dataLength,
                               outcome.events);
    }
  }
  if (outcome.fault) return;
  frameRecords(framer, policy, sink, FramingPoint::EndOfData, outcome);
  outcome.droppedBytes = framer.carriedBytes();
}

// The header, or in salvage its text alone when something confirms the
// layout it names: its own checksum (a file cut short right after it),
// block 1 right after it, or, when block 1 checks after no layout at all,
// a later block or a footer that checks. Block 1 after another layout
// means the text is damaged.
std::optional<Fault> readHeader(ByteSource& source, bool salvage, IncidentReporter* reporter,
                                HeaderRead& header, SalvageSummary& summary) {
  const std::optional<Fault> fault = readTraceHeader(source, header);
  if (!fault || !salvage || fault->kind == FaultKind::ReadFailed) return fault;
  if (readHeaderByText(source, header)) return fault;
  if (header.checksumRight) return std::nullopt;
  BlockSearch blocks;
  blocks.from = header.layoutSize;
  blocks.dataEnd = static_cast<uint64_t>(header.fileSize);
  uint16_t length = 0;
  uint32_t confirming = 1;
  if (!blockChecksAt(source, header.layoutSize, 1, blocks, length)) {
    for (const size_t layoutSize :
         {layout::kHeaderSizeV5, layout::kHeaderSizeV7, layout::kHeaderSizeV8}) {
      if (blockChecksAt(source, layoutSize, 1, blocks, length)) return fault;
    }
    // The last block ends where the footer begins, or with the file.
    std::optional<FoundBlock> later = findNextBlock(source, blocks);
    blocks.dataEnd -= std::min<uint64_t>(blocks.dataEnd, layout::kFooterSize);
    if (!later) later = findNextBlock(source, blocks);
    TraceFooter footer;
    const std::optional<Fault> footerFault =
        readTraceFooter(source, header.fileSize, header.layoutSize, footer);
    const bool footerChecks = !footerFault || footerFault->kind == FaultKind::DataLengthTooLong;
    if (!later && !footerChecks) return fault;
    confirming = later ? later->number : 0;
  }
  Incident unverified;
  unverified.kind = IncidentKind::UnverifiedHeader;
  unverified.cause = *fault;
  unverified.cause.found = header.layoutSize;
  unverified.confirmingBlock = confirming;
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
  summary.footerChecks = !fault || fault->kind == FaultKind::DataLengthTooLong;
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
  if (summary.footerChecks) {
    // Its checksum vouches for the block size and count; only the data
    // length disagrees with the file.
    bounds.blockSize = footer.blockSize();
    bounds.blockCount = footer.blockCount();
  }
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
