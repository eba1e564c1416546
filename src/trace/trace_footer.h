// The 16-byte footer at the end of every trace file.
#ifndef QNVTAB_TRACE_TRACE_FOOTER_H_
#define QNVTAB_TRACE_TRACE_FOOTER_H_

#include <array>
#include <cstdint>
#include <optional>

#include "trace/byte_source.h"
#include "trace/trace_fault.h"
#include "trace/trace_format.h"

namespace qnvtab {

struct TraceFooter {
  std::array<uint8_t, layout::kFooterSize> bytes{};

  // The largest payload a block may carry; also sizes the run's buffers.
  uint16_t blockSize() const { return loadU16(&bytes[layout::kFooterBlockSizeOffset]); }
  uint16_t blockCount() const { return loadU16(&bytes[layout::kFooterBlockCountOffset]); }
  // Bytes of all blocks, each counted with its 6-byte block header.
  uint32_t dataLength() const { return loadU32(&bytes[layout::kFooterDataLengthOffset]); }
  uint16_t checksum() const { return loadU16(&bytes[layout::kFooterChecksumOffset]); }

  // True when the checksum over the first 14 bytes is right.
  bool isValid() const;
};

// Reads the last 16 bytes of a file of `fileSize` bytes whose header takes
// `headerSize`, and checks them: the checksum, and a dataLength that fits
// between header and footer.
std::optional<Fault> readTraceFooter(ByteSource& source, int64_t fileSize, size_t headerSize,
                                     TraceFooter& footer);

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_FOOTER_H_
