#include "trace/trace_header.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "trace/crc16.h"

namespace qnvtab {
namespace {

bool isScanSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The text of a header field with unprintable bytes as '?', for messages.
std::string printableField(const uint8_t* image, size_t offset, size_t width) {
  std::string text;
  for (size_t i = 0; i < width; ++i) {
    const uint8_t c = image[offset + i];
    text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return text;
}

// Layout sizes with the version that selects them, in the order of tries.
struct LayoutTry {
  size_t size;
  int major;
};
constexpr LayoutTry kNewerLayouts[] = {{layout::kHeaderSizeV8, 8}, {layout::kHeaderSizeV7, 7}};

void setDefaultGmtOffsets(uint8_t* image) {
  // Traces before version 8 were recorded one hour east of GMT.
  for (size_t offset : {layout::kStartGmtOffsetOffset, layout::kEndGmtOffsetOffset,
                        layout::kFirstEventGmtOffsetOffset}) {
    image[offset] = 1;
    image[offset + 1] = 1;
    image[offset + 2] = 0;
    image[offset + 3] = 0;
  }
}

void normalise(const uint8_t* image, size_t layoutSize, TraceHeader& header) {
  header.bytes.fill(0);
  std::memcpy(header.bytes.data(), image, layoutSize);
  if (layoutSize == layout::kHeaderSizeV5) {
    // The 180-byte layout has no first event: its checksum bytes are cleared
    // together with the first-event fields that take their place.
    std::memset(&header.bytes[layout::kFirstEventDateOffset], 0,
                layout::kStartGmtOffsetOffset - layout::kFirstEventDateOffset);
  }
  if (layoutSize != layout::kHeaderSizeV8) setDefaultGmtOffsets(header.bytes.data());
}

// Finds the layout at the front of `image` and its major version: the
// newer layouts in order of tries, then the 180-byte one, whose revision
// must also be 1 like any taken layout's.
std::optional<Fault> recogniseLayout(const uint8_t* image, int64_t fileSize, size_t& layoutSize,
                                     int& major) {
  layoutSize = 0;
  for (const LayoutTry& candidate : kNewerLayouts) {
    if (fileSize < static_cast<int64_t>(candidate.size + layout::kFooterSize)) continue;
    if (hasVersion(image, candidate.size, candidate.major, 0)) {
      layoutSize = candidate.size;
      major = candidate.major;
      break;
    }
  }
  if (layoutSize == 0) {
    layoutSize = layout::kHeaderSizeV5;
    if (!hasValidChecksumAndTag(image, layoutSize)) return makeFault(FaultKind::NoKnownLayout);
    if (hasVersion(image, layoutSize, 6, 0)) {
      major = 6;
    } else if (hasVersion(image, layoutSize, 5, 0)) {
      major = 5;
    } else {
      Fault version = makeFault(FaultKind::UnsupportedVersion);
      version.detail = printableField(image, layout::kMajorVersionOffset, 9);
      return version;
    }
  }
  if (!hasRevision(image, layoutSize, 1)) {
    Fault revision = makeFault(FaultKind::UnsupportedRevision);
    revision.detail = printableField(image, layout::kRevisionOffset, 2);
    revision.found = layoutSize;
    return revision;
  }

  return std::nullopt;
}

// Reads the largest layout the file can hold: every layout is a prefix of
// it, so one read serves all the tries.
std::optional<Fault> readHeaderImage(ByteSource& source, uint8_t* image, int64_t& fileSize) {
  fileSize = source.size();
  if (fileSize < 0) return makeFault(FaultKind::SourceNotSized);
  if (fileSize < static_cast<int64_t>(layout::kHeaderSizeV5 + layout::kFooterSize)) {
    Fault tooShort = makeFault(FaultKind::FileTooShort);
    tooShort.found = static_cast<uint64_t>(fileSize);
    return tooShort;
  }
  const size_t imageSize = std::min<size_t>(static_cast<size_t>(fileSize), layout::kHeaderSizeV8);
  const SourceRead got = source.readAt(0, image, imageSize);
  if (got.bytes != imageSize) return readFault(0, got.error);
  return std::nullopt;
}

// The text prefix alone names version `major`.0 revision 1 in a layout of
// `layoutSize` bytes: the tag is right and the numbers read so.
bool namesVersion(const uint8_t* image, size_t layoutSize, int major) {
  const uint8_t* end = image + layoutSize;
  int readMajor = 0;
  int readMinor = 0;
  int readRevision = 0;
  return std::memcmp(image + layout::kTagOffset, layout::kTag, layout::kTagSize) == 0 &&
         scanDecimalField(image + layout::kMajorVersionOffset, end, layout::kMajorVersionWidth,
                          readMajor) &&
         scanDecimalField(image + layout::kMinorVersionOffset, end, layout::kMinorVersionWidth,
                          readMinor) &&
         scanDecimalField(image + layout::kRevisionOffset, end, layout::kRevisionWidth,
                          readRevision) &&
         readMajor == major && readMinor == 0 && readRevision == 1;
}

}  // namespace

bool scanDecimalField(const uint8_t* field, const uint8_t* end, int width, int& value) {
  const uint8_t* p = field;
  while (p < end && isScanSpace(*p)) ++p;
  const uint8_t* limit = (end - p > width) ? p + width : end;
  bool negative = false;
  if (p < limit && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == limit || *p < '0' || *p > '9') return false;
  int number = 0;
  while (p < limit && *p >= '0' && *p <= '9') number = number * 10 + (*p++ - '0');
  value = negative ? -number : number;
  return true;
}

bool hasValidChecksumAndTag(const uint8_t* image, size_t layoutSize) {
  return hasGoodResidue(image, layoutSize) &&
         std::memcmp(image + layout::kTagOffset, layout::kTag, layout::kTagSize) == 0;
}

bool hasVersion(const uint8_t* image, size_t layoutSize, int major, int minor) {
  if (!hasValidChecksumAndTag(image, layoutSize)) return false;
  const uint8_t* end = image + layoutSize;
  int readMajor = 0;
  int readMinor = 0;
  return scanDecimalField(image + layout::kMajorVersionOffset, end, layout::kMajorVersionWidth,
                          readMajor) &&
         scanDecimalField(image + layout::kMinorVersionOffset, end, layout::kMinorVersionWidth,
                          readMinor) &&
         readMajor == major && readMinor == minor;
}

bool hasRevision(const uint8_t* image, size_t layoutSize, int revision) {
  if (!hasValidChecksumAndTag(image, layoutSize)) return false;
  int readRevision = 0;
  return scanDecimalField(image + layout::kRevisionOffset, image + layoutSize,
                          layout::kRevisionWidth, readRevision) &&
         readRevision == revision;
}

std::optional<Fault> readTraceHeader(ByteSource& source, HeaderRead& read) {
  uint8_t image[layout::kHeaderSizeV8];
  if (std::optional<Fault> fault = readHeaderImage(source, image, read.fileSize)) return fault;
  size_t layoutSize = 0;
  int major = 0;
  if (std::optional<Fault> fault = recogniseLayout(image, read.fileSize, layoutSize, major)) {
    return fault;
  }
  read.version.number = static_cast<uint16_t>(major);
  read.layoutSize = layoutSize;
  normalise(image, layoutSize, read.header);
  return std::nullopt;
}

std::optional<Fault> readHeaderByText(ByteSource& source, HeaderRead& read) {
  uint8_t image[layout::kHeaderSizeV8];
  if (std::optional<Fault> fault = readHeaderImage(source, image, read.fileSize)) return fault;
  constexpr LayoutTry kLayoutsByVersion[] = {{layout::kHeaderSizeV8, 8},
                                             {layout::kHeaderSizeV7, 7},
                                             {layout::kHeaderSizeV5, 6},
                                             {layout::kHeaderSizeV5, 5}};
  for (const LayoutTry& candidate : kLayoutsByVersion) {
    if (read.fileSize < static_cast<int64_t>(candidate.size)) continue;
    if (namesVersion(image, candidate.size, candidate.major)) {
      read.version.number = static_cast<uint16_t>(candidate.major);
      read.layoutSize = candidate.size;
      read.checksumRight = hasValidChecksumAndTag(image, candidate.size);
      normalise(image, candidate.size, read.header);
      return std::nullopt;
    }
  }
  return makeFault(FaultKind::NoKnownLayout);
}

}  // namespace qnvtab
