// Salvage at the trace's header and footer: a header taken by its text
// when something confirms the layout it names, and a footer ignored when
// it cannot be trusted.
#include "convert/salvage.h"

#include <algorithm>

#include "trace/block_scanner.h"

namespace qnvtab {

bool salvageMayPass(FaultKind kind) {
  return kind != FaultKind::FileTooShort && kind != FaultKind::SourceNotSized &&
         kind != FaultKind::ReadFailed && kind != FaultKind::LibraryUnavailable &&
         kind != FaultKind::OutOfMemory;
}

// What confirms the layout a header's text names: its own checksum (a
// file cut short right after it), block 1 right after it, or, when block
// 1 checks after no layout at all, a later block or a footer that checks.
// Block 1 after another layout means the text is damaged.
std::optional<Fault> SalvagePolicy::headerFault(const Fault& fault, ByteSource& source,
                                                HeaderRead& header) {
  if (fault.kind == FaultKind::ReadFailed || readHeaderByText(source, header)) return fault;
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
  unverified.cause = fault;
  unverified.cause.found = header.layoutSize;
  unverified.confirmingBlock = confirming;
  reporter_.report(unverified);
  summary_.interiorDamage = true;
  return std::nullopt;
}

// Without a footer to trust, blocks are read to the end of the file.
std::optional<Fault> SalvagePolicy::footerFault(const Fault& fault, const HeaderRead& header,
                                                const TraceFooter& footer, BlockLimits& limits,
                                                BlockBounds& bounds) {
  if (fault.kind == FaultKind::ReadFailed) return fault;
  const uint64_t fileSize = static_cast<uint64_t>(header.fileSize);
  summary_.footerChecks = fault.kind == FaultKind::DataLengthTooLong;
  if (summary_.footerChecks) {
    // Its checksum vouches for the block size and count; only the data
    // length disagrees with the file.
    bounds.blockSize = footer.blockSize();
    bounds.blockCount = footer.blockCount();
  }
  Incident ignored;
  ignored.kind = IncidentKind::FooterIgnored;
  ignored.cause = fault;
  reporter_.report(ignored);
  summary_.endDamage = true;
  // A footer that checks but disagrees still takes the last 16 bytes.
  bounds.dataEnd = fault.kind == FaultKind::FooterChecksum ? fileSize
                                                           : fileSize - layout::kFooterSize;
  limits.blockCount = bounds.blockCount;
  limits.byDataLength = false;
  limits.dataLength = static_cast<uint32_t>(bounds.dataEnd - header.layoutSize);
  return std::nullopt;
}

}  // namespace qnvtab
