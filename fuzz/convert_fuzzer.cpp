// Fuzz target over one whole conversion. The first byte chooses the options
// (salvage mode among them) and whether checksums are repaired; the rest is
// the trace. Repairing the header, block and footer checksums lets
// mutations reach the decompressor and the row writer instead of stopping
// at the first CRC check. The table goes to a sink that drops it.
#include <cstdint>
#include <vector>

#include "convert/convert_trace.h"
#include "table/tsv_sink.h"
#include "trace/crc16.h"
#include "trace/trace_format.h"

namespace {

using namespace qnvtab;

class NullSink : public ByteSink {
 public:
  bool write(const char*, size_t) override { return true; }
};

class NullReporter : public IncidentReporter {
 public:
  void report(const Incident&) override {}
};

void storeChecksum(uint8_t* record, size_t size) {
  storeU16(record + size - 2, crc16(record, size - 2));
}

void repairChecksums(std::vector<uint8_t>& trace, uint8_t choice) {
  constexpr size_t kLayouts[] = {layout::kHeaderSizeV5, layout::kHeaderSizeV7,
                                 layout::kHeaderSizeV8, layout::kHeaderSizeV8};
  const size_t headerSize = kLayouts[choice % 4];
  if (trace.size() < headerSize + layout::kFooterSize) return;
  storeChecksum(trace.data(), headerSize);
  const size_t footerOffset = trace.size() - layout::kFooterSize;
  storeChecksum(&trace[footerOffset], layout::kFooterSize);
  size_t offset = headerSize;
  while (offset + layout::kBlockHeaderSize <= footerOffset) {
    uint8_t* block = &trace[offset];
    const size_t length = loadU16(block + layout::kBlockLengthOffset);
    const size_t end = offset + layout::kBlockHeaderSize + length;
    if (end > footerOffset) break;
    storeU16(block + layout::kBlockChecksumOffset,
             crc16(block + layout::kBlockHeaderSize, length));
    offset = end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t choice = data[0];
  ConversionSettings settings;
  settings.rows.informativeHeader = (choice & 1) != 0;
  settings.rows.timesRelativeToFirstEvent = (choice & 2) != 0;
  settings.rows.dataFormat = static_cast<DataFormat>((choice >> 2) % 3);
  settings.salvage = (choice & 0x80) != 0;
  std::vector<uint8_t> trace(data + 1, data + size);
  if ((choice & 0x10) != 0) repairChecksums(trace, static_cast<uint8_t>(choice >> 5));

  MemoryByteSource source(trace.data(), trace.size());
  NullSink output;
  TsvSink sink(output);
  NullReporter incidents;
  convertTrace(source, settings, sink, nullptr, &incidents);
  return 0;
}
