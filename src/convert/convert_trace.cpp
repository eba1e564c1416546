#include "convert/convert_trace.h"

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

Fault expansionFault(const Expansion& expansion, const CheckedBlock& block, size_t freeSpace) {
  FaultKind kind = FaultKind::DecompressFailed;
  if (expansion.result == ExpandResult::ServiceUnavailable) {
    kind = FaultKind::LibraryUnavailable;
  } else if (block.header.storedFlag()) {
    kind = FaultKind::StoredOverflow;
  }
  Fault fault = makeFault(kind, block.offset, block.number);
  fault.found = block.header.length();
  fault.expected = freeSpace;
  fault.libraryCode = expansion.libraryCode;
  return fault;
}

// The block loop. It ends after blockCount blocks, when the blocks read
// add up to dataLength, at a fault, or when the output fails.
void convertBlocks(BlockReader& blocks, const TraceFooter& footer, EventFramer& framer,
                   RowSink& sink, ConversionObserver* observer, ConversionOutcome& outcome) {
  uint32_t blockCounter = 0;
  uint32_t remainingDataLength = footer.dataLength();
  uint64_t blockBytesRead = 0;
  CheckedBlock block;
  while (remainingDataLength != 0 && blockCounter < footer.blockCount()) {
    ++blockCounter;
    if ((outcome.fault = blocks.next(block))) return;
    const std::span<uint8_t> freeSpace = framer.freeSpace();
    const Expansion expansion = expandBlock(block.header, block.payload, freeSpace);
    if (expansion.result != ExpandResult::Expanded) {
      outcome.fault = expansionFault(expansion, block, freeSpace.size());
      return;
    }
    framer.commit(expansion.produced);
    const uint32_t blockBytes = layout::kBlockHeaderSize + block.header.length();
    remainingDataLength -= blockBytes;  // modulo 2^32: an overshoot leaves blockCount to end the loop
    blockBytesRead += blockBytes;
    sink.write(framer.takeRecords());
    outcome.events = framer.lastEventNumber();
    if (sink.failed()) return;
    if (observer != nullptr) {
      observer->blockConverted(blockBytesRead, footer.dataLength(), outcome.events);
    }
  }
  outcome.droppedBytes = framer.carriedBytes();
}

}  // namespace

ConversionOutcome convertTrace(ByteSource& source, const ConversionSettings& settings,
                               RowSink& sink, ConversionObserver* observer) {
  ConversionOutcome outcome;
  HeaderRead header;
  TraceFooter footer;
  if ((outcome.fault = readTraceHeader(source, header))) return outcome;
  if ((outcome.fault = readTraceFooter(source, header.fileSize, header.layoutSize, footer))) {
    return outcome;
  }
  sink.begin(header.header, header.version,
             supportedOptions(settings.rows, header.version, outcome.optionsSwitchedOff));

  BlockReader blocks(source, header.layoutSize, footer.blockSize());
  EventFramer framer(header.version.eventHead(), footer.blockSize());
  if (!blocks.allocated() || !framer.allocated()) {
    outcome.fault = makeFault(FaultKind::OutOfMemory);
    outcome.fault->found = blocks.bufferSize() + 2 * size_t{footer.blockSize()};
  } else {
    convertBlocks(blocks, footer, framer, sink, observer, outcome);
  }
  if (!sink.finish()) outcome.writeFailed = true;
  return outcome;
}

}  // namespace qnvtab
