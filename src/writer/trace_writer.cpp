#include "writer/trace_writer.h"

#include <ucl/ucl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trace/crc16.h"
#include "trace/trace_version.h"
#include "trace/trace_format.h"

namespace qnvtab::builder {
namespace {

void putDate(uint8_t* p, const TraceDate& date) {
  p[0] = static_cast<uint8_t>(date.day);
  p[1] = static_cast<uint8_t>(date.month);
  storeU16(p + 2, static_cast<uint16_t>(date.year));
}

void putTime(uint8_t* p, const TraceTime& time) {
  p[0] = static_cast<uint8_t>(time.hour);
  p[1] = static_cast<uint8_t>(time.minute);
  p[2] = static_cast<uint8_t>(time.second);
}

void putOffset(uint8_t* p, const GmtOffset& offset) {
  p[0] = offset.sign;
  p[1] = offset.hours;
  p[2] = offset.minutes;
  p[3] = offset.spare;
}

void putText(uint8_t* p, const std::string& text) { std::memcpy(p, text.data(), text.size()); }

void storeChecksum(uint8_t* record, size_t size) {
  storeU16(record + size - 2, crc16(record, size - 2));
}

// The writer initialises the library on its own, so that a conversion in
// the same process still initialises it exactly as it would alone.
void requireUcl() {
  static const bool initialised = ucl_init() == UCL_E_OK;
  if (!initialised) {
    std::fputs("trace writer: UCL cannot be initialised\n", stderr);
    std::abort();
  }
}

// The text prefix of a freshly made header: version "00000.000", revision
// "01", the tag, the end mark, and blanks where the description goes.
void writeFreshTextPrefix(uint8_t* image) {
  std::memset(image, ' ', layout::kTextPrefixSize);
  std::memcpy(image + layout::kKindCodeOffset, "02", 2);
  std::memcpy(image + layout::kTagOffset, layout::kTag, layout::kTagSize);
  std::memcpy(image + layout::kMajorVersionOffset, "00000.000", 9);
  std::memcpy(image + layout::kRevisionOffset, "01", 2);
  image[layout::kEndMarkOffset] = 0x1A;
}

}  // namespace

Bytes encodeEvent(const EventSpec& event, unsigned version) {
  const layout::EventHeadLayout& head = TraceVersion{static_cast<uint16_t>(version)}.eventHead();
  Bytes record(head.size + event.data.size());
  uint8_t* p = record.data();
  storeU16(p, event.prefix);
  storeU32(p + head.timeStamp, event.timeStamp);
  storeU16(p + head.poIn, event.poIn);
  storeU16(p + head.poOut, event.poOut);
  if (head.wideLsn) {
    storeU16(p + head.lsnIn, event.lsnIn);
    storeU16(p + head.lsnOut, event.lsnOut);
  } else {
    p[head.lsnIn] = static_cast<uint8_t>(event.lsnIn);
    p[head.lsnOut] = static_cast<uint8_t>(event.lsnOut);
  }
  p[head.cmd] = event.cmd;
  p[head.info] = event.info;
  p[head.rc] = event.rc;
  storeU16(p + head.length, event.length);
  storeU32(p + head.bufferAddress, event.bufferAddress);
  storeU16(p + head.contentLength, static_cast<uint16_t>(event.data.size()));
  if (!event.data.empty()) std::memcpy(p + head.size, event.data.data(), event.data.size());
  return record;
}

Bytes encodeEvents(const std::vector<EventSpec>& events, unsigned version) {
  Bytes stream;
  for (const EventSpec& event : events) {
    const Bytes record = encodeEvent(event, version);
    stream.insert(stream.end(), record.begin(), record.end());
  }
  return stream;
}

size_t headerLayoutSize(const HeaderSpec& plan) {
  if (plan.layoutSize != 0) return plan.layoutSize;
  if (plan.version >= 8) return layout::kHeaderSizeV8;
  return plan.version == 7 ? layout::kHeaderSizeV7 : layout::kHeaderSizeV5;
}

Bytes buildHeader(const HeaderSpec& plan) {
  const size_t size = headerLayoutSize(plan);
  Bytes header(size, 0);
  writeFreshTextPrefix(header.data());
  char major[16];
  std::snprintf(major, sizeof major, "%05u", plan.version);
  putText(&header[layout::kMajorVersionOffset], plan.majorText.empty() ? major : plan.majorText);
  putText(&header[layout::kMinorVersionOffset], plan.minorText.empty() ? "000" : plan.minorText);
  putText(&header[layout::kRevisionOffset], plan.revisionText.empty() ? "01" : plan.revisionText);
  putText(&header[layout::kDescriptionOffset], plan.description.substr(0, 30));
  putDate(&header[layout::kStartDateOffset], plan.startDate);
  putTime(&header[layout::kStartTimeOffset], plan.startTime);
  putDate(&header[layout::kEndDateOffset], plan.endDate);
  putTime(&header[layout::kEndTimeOffset], plan.endTime);
  // Device fields the converter never reads: a recognisable pattern.
  for (size_t i = layout::kEndTimeOffset + layout::kTraceTimeSize; i < layout::kHeaderSizeV5 - 2; ++i) {
    header[i] = static_cast<uint8_t>(i * 7);
  }
  if (size >= layout::kHeaderSizeV7) {
    putDate(&header[layout::kFirstEventDateOffset], plan.firstEventDate);
    putTime(&header[layout::kFirstEventTimeOffset], plan.firstEventTime);
    storeU32(&header[layout::kFirstEventStampOffset], plan.firstEventStamp);
  }
  if (size >= layout::kHeaderSizeV8) {
    putOffset(&header[layout::kStartGmtOffsetOffset], plan.startGmtOffset);
    putOffset(&header[layout::kEndGmtOffsetOffset], plan.endGmtOffset);
    putOffset(&header[layout::kFirstEventGmtOffsetOffset], plan.firstEventGmtOffset);
  }
  storeChecksum(header.data(), size);
  return header;
}

Bytes compressNrv2b(const uint8_t* data, size_t size, int level) {
  requireUcl();
  Bytes compressed(size + size / 8 + 256);
  ucl_uint compressedSize = static_cast<ucl_uint>(compressed.size());
  const int result = ucl_nrv2b_99_compress(data, static_cast<ucl_uint>(size), compressed.data(),
                                           &compressedSize, nullptr, level, nullptr, nullptr);
  if (result != UCL_E_OK) {
    std::fprintf(stderr, "trace builder: compression failed (%d)\n", result);
    std::abort();
  }
  compressed.resize(compressedSize);
  return compressed;
}

Bytes buildBlock(uint16_t number, bool stored, const Bytes& payload) {
  Bytes block(layout::kBlockHeaderSize + payload.size());
  storeU16(&block[layout::kBlockNumberOffset],
           static_cast<uint16_t>((number & layout::kBlockNumberMask) | (stored ? layout::kStoredFlag : 0)));
  storeU16(&block[layout::kBlockLengthOffset], static_cast<uint16_t>(payload.size()));
  storeU16(&block[layout::kBlockChecksumOffset], crc16(payload.data(), payload.size()));
  if (!payload.empty()) std::memcpy(&block[layout::kBlockHeaderSize], payload.data(), payload.size());
  return block;
}

Bytes buildFooter(uint16_t blockSize, uint16_t blockCount, uint32_t dataLength) {
  Bytes footer(layout::kFooterSize, 0);
  storeU16(&footer[layout::kFooterBlockSizeOffset], blockSize);
  storeU16(&footer[layout::kFooterBlockCountOffset], blockCount);
  storeU32(&footer[layout::kFooterDataLengthOffset], dataLength);
  storeChecksum(footer.data(), footer.size());
  return footer;
}

TraceWriter::TraceWriter(const TraceSpec& plan)
    : spec_(plan), chunkSize_(plan.chunkSize != 0 ? plan.chunkSize : plan.blockSize) {
  trace_.bytes = buildHeader(plan.header);
  trace_.headerSize = trace_.bytes.size();
}

void TraceWriter::emitBlock(const uint8_t* data, size_t size) {
  const uint16_t number = static_cast<uint16_t>(trace_.blockOffsets.size() + 1);
  bool stored = spec_.mode == BlockMode::Stored ||
                (spec_.mode == BlockMode::Alternating && number % 2 == 0);
  Bytes payload;
  if (!stored) {
    payload = compressNrv2b(data, size, spec_.compressionLevel);
    if (spec_.mode != BlockMode::ForcedCompressed && payload.size() >= size) stored = true;
  }
  if (stored) payload.assign(data, data + size);
  writeBlock(stored, payload);
}

void TraceWriter::appendBlock(const Bytes& eventBytes, bool stored) {
  Bytes payload;
  if (!stored) {
    payload = compressNrv2b(eventBytes.data(), eventBytes.size(), spec_.compressionLevel);
    // The reader takes no payload longer than blockSize. A stream longer
    // than its event bytes but within that stays compressed, as in field
    // traces.
    stored = payload.size() > spec_.blockSize;
  }
  writeBlock(stored, stored ? eventBytes : payload);
}

void TraceWriter::writeBlock(bool stored, const Bytes& payload) {
  const uint16_t number = static_cast<uint16_t>(trace_.blockOffsets.size() + 1);
  trace_.blockOffsets.push_back(trace_.bytes.size());
  trace_.blockStored.push_back(stored ? 1 : 0);
  const Bytes block = buildBlock(number, stored, payload);
  trace_.bytes.insert(trace_.bytes.end(), block.begin(), block.end());
}

void TraceWriter::append(const uint8_t* data, size_t size) {
  pending_.insert(pending_.end(), data, data + size);
  size_t consumed = 0;
  while (pending_.size() - consumed >= chunkSize_) {
    emitBlock(pending_.data() + consumed, chunkSize_);
    consumed += chunkSize_;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(consumed));
}

Trace TraceWriter::finish() {
  if (!pending_.empty()) emitBlock(pending_.data(), pending_.size());
  pending_.clear();
  const uint32_t dataLength = static_cast<uint32_t>(trace_.bytes.size() - trace_.headerSize);
  trace_.footerOffset = trace_.bytes.size();
  const Bytes footer = buildFooter(spec_.blockSize, static_cast<uint16_t>(trace_.blockOffsets.size()),
                                   dataLength);
  trace_.bytes.insert(trace_.bytes.end(), footer.begin(), footer.end());
  return std::move(trace_);
}

Trace buildTrace(const TraceSpec& plan, const Bytes& eventStream) {
  TraceWriter writer(plan);
  writer.append(eventStream);
  return writer.finish();
}

void flipBit(Bytes& bytes, size_t bitIndex) {
  bytes[bitIndex / 8] ^= static_cast<uint8_t>(1u << (bitIndex % 8));
}

void setU16(Bytes& bytes, size_t offset, uint16_t value) { storeU16(&bytes[offset], value); }

void refreshHeaderChecksum(Trace& trace) { storeChecksum(trace.bytes.data(), trace.headerSize); }

void refreshBlockChecksum(Trace& trace, size_t blockIndex) {
  uint8_t* block = &trace.bytes[trace.blockOffsets[blockIndex]];
  const uint16_t length = loadU16(block + layout::kBlockLengthOffset);
  storeU16(block + layout::kBlockChecksumOffset, crc16(block + layout::kBlockHeaderSize, length));
}

void setFooter(Trace& trace, uint16_t blockSize, uint16_t blockCount, uint32_t dataLength) {
  const Bytes footer = buildFooter(blockSize, blockCount, dataLength);
  std::memcpy(&trace.bytes[trace.footerOffset], footer.data(), footer.size());
}

}  // namespace qnvtab::builder
