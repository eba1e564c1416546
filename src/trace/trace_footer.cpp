#include "trace/trace_footer.h"

#include "trace/crc16.h"

namespace qnvtab {

bool TraceFooter::isValid() const { return hasGoodResidue(bytes.data(), bytes.size()); }

std::optional<Fault> readTraceFooter(ByteSource& source, int64_t fileSize, size_t headerSize,
                                     TraceFooter& footer) {
  const uint64_t offset = static_cast<uint64_t>(fileSize) - layout::kFooterSize;
  const SourceRead got = source.readAt(offset, footer.bytes.data(), footer.bytes.size());
  if (got.bytes != footer.bytes.size()) return readFault(offset, got.error);
  if (!footer.isValid()) {
    Fault checksum = makeFault(FaultKind::FooterChecksum, offset);
    checksum.found = crc16(footer.bytes.data(), layout::kFooterChecksumOffset);
    checksum.expected = footer.checksum();
    return checksum;
  }
  const int64_t room = fileSize - static_cast<int64_t>(headerSize + layout::kFooterSize);
  if (static_cast<int64_t>(footer.dataLength()) > room) {
    Fault tooLong = makeFault(FaultKind::DataLengthTooLong, offset);
    tooLong.found = footer.dataLength();
    tooLong.expected = static_cast<uint64_t>(room);
    return tooLong;
  }
  return std::nullopt;
}

}  // namespace qnvtab
