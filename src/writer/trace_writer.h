// Writes real trace files for tests, tools and the fuzz corpus: headers of every layout with
// correct checksums, event records, blocks stored or compressed with UCL's
// NRV2B compressor (one independent stream per block), and footers; and
// damages them in controlled ways.
#ifndef QNVTAB_WRITER_TRACE_WRITER_H_
#define QNVTAB_WRITER_TRACE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "trace/trace_header.h"

namespace qnvtab::builder {

using Bytes = std::vector<uint8_t>;

struct EventSpec {
  uint16_t prefix = 0;  // the two bytes the converter skips
  uint32_t timeStamp = 0;
  uint16_t poIn = 0;
  uint16_t lsnIn = 0;  // 8 bits in version-5 records
  uint16_t poOut = 0;
  uint16_t lsnOut = 0;
  uint8_t cmd = 0;
  uint8_t info = 0;
  uint8_t rc = 0;
  uint16_t length = 0;
  uint32_t bufferAddress = 0;
  Bytes data;  // ContentLength is its size
};

// One record with the head of `version` (23 bytes for 5, else 25).
Bytes encodeEvent(const EventSpec& event, unsigned version);
Bytes encodeEvents(const std::vector<EventSpec>& events, unsigned version);

struct HeaderSpec {
  unsigned version = 8;  // 5 and 6: 180-byte layout, 7: 191, 8: 203
  size_t layoutSize = 0;  // 0: the layout of `version`
  // Text fields as written; empty: "%05d" of version, "000", "01".
  std::string majorText;
  std::string minorText;
  std::string revisionText;
  std::string description = "Ortavi QNV trace";  // at most 30 bytes, padded with blanks
  TraceDate startDate{19, 5, 2008};
  TraceTime startTime{10, 0, 0};
  TraceDate endDate{19, 5, 2008};
  TraceTime endTime{11, 0, 0};
  TraceDate firstEventDate{19, 5, 2008};  // versions 7 and 8
  TraceTime firstEventTime{10, 20, 30};
  uint32_t firstEventStamp = 1000;
  GmtOffset startGmtOffset{1, 1, 0, 0};  // version 8
  GmtOffset endGmtOffset{1, 1, 0, 0};
  GmtOffset firstEventGmtOffset{1, 1, 0, 0};
};

size_t headerLayoutSize(const HeaderSpec& plan);
Bytes buildHeader(const HeaderSpec& plan);

enum class BlockMode {
  Stored,
  Compressed,  // a block that would not shrink is stored instead
  Alternating,  // compressed, stored, compressed, ...
  ForcedCompressed,  // compressed even where that grows the block
};

struct TraceSpec {
  HeaderSpec header;
  uint16_t blockSize = 512;
  // Event bytes per block; 0: blockSize.
  size_t chunkSize = 0;
  BlockMode mode = BlockMode::Compressed;
  int compressionLevel = 10;  // 1 (fast) to 10 (small)
};

struct Trace {
  Bytes bytes;
  size_t headerSize = 0;
  std::vector<size_t> blockOffsets;  // where each block header starts
  size_t footerOffset = 0;
  std::vector<uint8_t> blockStored;  // per block: 1 stored, 0 compressed
};

// One NRV2B stream (8-bit bit buffer) of `data`.
Bytes compressNrv2b(const uint8_t* data, size_t size, int level = 10);
Bytes buildBlock(uint16_t number, bool stored, const Bytes& payload);
Bytes buildFooter(uint16_t blockSize, uint16_t blockCount, uint32_t dataLength);

// Writes a trace incrementally, one block at a time, so that large traces
// need not be held as one event stream.
class TraceWriter {
 public:
  explicit TraceWriter(const TraceSpec& plan);
  void append(const uint8_t* data, size_t size);
  void append(const Bytes& data) { append(data.data(), data.size()); }
  // Writes `eventBytes` as the next block, as field traces do with a
  // different amount in every block. A compressed stream longer than
  // blockSize is stored instead. Bytes pending from append() stay pending.
  void appendBlock(const Bytes& eventBytes, bool stored);
  // Writes the last partial block and the footer.
  Trace finish();

 private:
  void emitBlock(const uint8_t* data, size_t size);
  void writeBlock(bool stored, const Bytes& payload);

  TraceSpec spec_;
  size_t chunkSize_;
  Trace trace_;
  Bytes pending_;
};

Trace buildTrace(const TraceSpec& plan, const Bytes& eventStream);

// Damage. The refresh helpers recompute a checksum after a change, so that
// a deeper check is reached.
void flipBit(Bytes& bytes, size_t bitIndex);
void setU16(Bytes& bytes, size_t offset, uint16_t value);
void refreshHeaderChecksum(Trace& trace);
void refreshBlockChecksum(Trace& trace, size_t blockIndex);
// Rewrites the footer's fields (checksum refreshed).
void setFooter(Trace& trace, uint16_t blockSize, uint16_t blockCount, uint32_t dataLength);

}  // namespace qnvtab::builder

#endif  // QNVTAB_WRITER_TRACE_WRITER_H_
