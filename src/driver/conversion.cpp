#include "driver/conversion.h"

#include <memory>
#include <new>

#include "decompress/expand_block.h"
#include "table/event_rows.h"
#include "table/table_header.h"
#include "trace/block_reader.h"
#include "trace/trace_header.h"

namespace qnvtab {
namespace {

ConversionReport inputFault(std::string fault) {
  ConversionReport report;
  report.status = ConversionStatus::InputFault;
  report.fault = std::move(fault);
  return report;
}

std::string expandFailure(ExpandResult result, const BlockHeader& block, int32_t freeSpace,
                          const UclService& ucl) {
  if (result == ExpandResult::ServiceUnavailable) {
    return "the decompression library cannot be initialised (UCL error " +
           std::to_string(ucl.lastLibraryResult()) + ")";
  }
  const std::string room = " the " + std::to_string(freeSpace) + " bytes left in the buffer";
  if (block.storedFlag()) {
    return "stored payload of " + std::to_string(block.length()) + " bytes exceeds" + room;
  }
  return "compressed payload faulty or larger than" + room + " (UCL error " +
         std::to_string(ucl.lastLibraryResult()) + ")";
}

}  // namespace

ConversionReport convertTrace(std::FILE* input, const Options& options, OutputBuffer& out,
                              ConversionObserver* observer) {
  TraceHeader header = TraceHeader::fresh();
  TraceFooter footer;
  uint16_t traceFormatVersion = 0;
  std::string why;
  if (!readTraceHeader(input, header, footer, traceFormatVersion, &why)) return inputFault(why);

  ConversionReport report;
  bool printInformativeHeader = options.printInformativeHeader;
  bool timesRelativeToFirstEvent = options.timesRelativeToFirstEvent;
  if (traceFormatVersion < 7) {
    report.optionsSwitchedOff = printInformativeHeader || timesRelativeToFirstEvent;
    printInformativeHeader = false;
    timesRelativeToFirstEvent = false;
  }
  writeTableHeader(printInformativeHeader ? &header : nullptr, options.dataFormat,
                   traceFormatVersion > 7, out);

  const uint32_t blockSize = footer.blockSize();
  const int32_t capacity = static_cast<int32_t>(2 * blockSize);
  // One spare, zeroed byte behind the payload: see expandBlock.
  std::unique_ptr<uint8_t[]> payload(new (std::nothrow) uint8_t[blockSize + 1]());
  std::unique_ptr<uint8_t[]> carryBuffer(new (std::nothrow) uint8_t[capacity > 0 ? capacity : 1]);
  if (!payload || !carryBuffer) return inputFault("not enough memory for the block buffers");

  EventRowContext rows = makeEventRowContext(
      header, traceFormatVersion, options.dataFormat,
      timesRelativeToFirstEvent ? header.firstEventStamp() : 0);
  UclService& ucl = processUclService();
  int32_t usedLength = 0;
  int32_t eventCounter = 0;
  uint32_t blockCounter = 0;
  uint32_t remainingDataLength = footer.dataLength();
  const uint64_t firstBlockOffset = static_cast<uint64_t>(ftello(input));
  uint64_t blockBytesRead = 0;
  BlockHeader block;
  const auto blockFault = [&](const std::string& reason) {
    return inputFault("block " + std::to_string(blockCounter) + " at offset " +
                      std::to_string(firstBlockOffset + blockBytesRead) + ": " + reason);
  };

  while (remainingDataLength != 0 && blockCounter < footer.blockCount()) {
    ++blockCounter;
    if (readBlock(input, footer, blockCounter, block, payload.get(), &why) !=
        BlockReadResult::Valid) {
      report = blockFault(why);
      break;
    }
    const int32_t freeSpace = capacity - usedLength;
    const ExpandResult expanded =
        expandBlock(ucl, block, payload.get(), carryBuffer.get(), usedLength, capacity);
    if (expanded != ExpandResult::Expanded) {
      report = blockFault(expandFailure(expanded, block, freeSpace, ucl));
      break;
    }
    const uint32_t blockBytes = layout::kBlockHeaderSize + block.length();
    remainingDataLength -= blockBytes;  // modulo 2^32: an overshoot leaves blockCount to end the loop
    blockBytesRead += blockBytes;
    writeEventRows(rows, eventCounter, out, carryBuffer.get(), usedLength);
    if (out.failed()) break;
    if (observer != nullptr) {
      observer->blockConverted(blockBytesRead, footer.dataLength(), eventCounter);
    }
  }

  report.events = eventCounter;
  if (report.status == ConversionStatus::Converted) {
    report.droppedBytes = static_cast<uint32_t>(usedLength);
  }
  if (!out.flush()) report.status = ConversionStatus::WriteFault;
  return report;
}

}  // namespace qnvtab
