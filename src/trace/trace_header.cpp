#include "trace/trace_header.h"

#include <cstring>
#include <sys/types.h>

#include "trace/crc16.h"

namespace qnvtab {
namespace {

constexpr char kDescription[] = "Ortavi QNV trace";
constexpr uint8_t kEndMark = 0x1A;

bool fail(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return false;
}

bool isScanSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The printable text of a header field in quotes, for messages.
std::string quotedField(const uint8_t* image, size_t offset, size_t width) {
  std::string text(1, '\'');
  for (size_t i = 0; i < width; ++i) {
    const uint8_t c = image[offset + i];
    text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  text += '\'';
  return text;
}

bool readAt(std::FILE* input, off_t offset, uint8_t* destination, size_t length) {
  return fseeko(input, offset, SEEK_SET) == 0 &&
         std::fread(destination, 1, length, input) == length;
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

}  // namespace

void writeFreshTextPrefix(uint8_t* image) {
  std::memset(image, ' ', layout::kTextPrefixSize);
  std::memcpy(image + layout::kKindCodeOffset, "02", 2);
  std::memcpy(image + layout::kTagOffset, layout::kTag, layout::kTagSize);
  std::memcpy(image + layout::kMajorVersionOffset, "00000.000", 9);
  std::memcpy(image + layout::kRevisionOffset, "01", 2);
  std::memcpy(image + layout::kDescriptionOffset, kDescription, sizeof kDescription - 1);
  image[layout::kEndMarkOffset] = kEndMark;
}

TraceHeader TraceHeader::fresh() {
  TraceHeader header;
  writeFreshTextPrefix(header.bytes.data());
  return header;
}

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

bool readTraceHeader(std::FILE* input, TraceHeader& header, TraceFooter& footer,
                     uint16_t& traceFormatVersion, std::string* why) {
  if (fseeko(input, 0, SEEK_END) != 0) return fail(why, "header: the file cannot be sized");
  const off_t fileSize = ftello(input);
  if (fileSize < 0) return fail(why, "header: the file cannot be sized");
  if (fileSize < static_cast<off_t>(layout::kHeaderSizeV5 + layout::kFooterSize)) {
    return fail(why, "header: no known layout (file of " + std::to_string(fileSize) +
                         " bytes is shorter than the smallest header and footer)");
  }

  // Every layout is a prefix of the largest one the file can hold: one read
  // serves all the tries.
  uint8_t image[layout::kHeaderSizeV8];
  const size_t imageSize = fileSize < static_cast<off_t>(sizeof image) ? static_cast<size_t>(fileSize)
                                                                       : sizeof image;
  if (!readAt(input, 0, image, imageSize)) return fail(why, "header: read error");
  size_t layoutSize = 0;
  int major = 0;
  for (const LayoutTry& candidate : kNewerLayouts) {
    if (fileSize < static_cast<off_t>(candidate.size + layout::kFooterSize)) continue;
    if (hasVersion(image, candidate.size, candidate.major, 0)) {
      layoutSize = candidate.size;
      major = candidate.major;
      break;
    }
  }
  if (layoutSize == 0) {
    layoutSize = layout::kHeaderSizeV5;
    if (!hasValidChecksumAndTag(image, layoutSize)) {
      return fail(why, "header: no known layout (no checksum, tag and version fit)");
    }
    if (hasVersion(image, layoutSize, 6, 0)) {
      major = 6;
    } else if (hasVersion(image, layoutSize, 5, 0)) {
      major = 5;
    } else {
      return fail(why, "header: version " + quotedField(image, layout::kMajorVersionOffset, 9) +
                           " is not supported in the 180-byte layout");
    }
  }
  if (!hasRevision(image, layoutSize, 1)) {
    return fail(why, "header: revision " + quotedField(image, layout::kRevisionOffset, 2) +
                         " of the " + std::to_string(layoutSize) +
                         "-byte layout is not supported");
  }

  if (!readAt(input, fileSize - static_cast<off_t>(layout::kFooterSize), footer.bytes.data(),
              footer.bytes.size())) {
    return fail(why, "footer: read error");
  }
  if (!footer.isValid()) {
    char reason[80];
    std::snprintf(reason, sizeof reason, "footer: checksum 0x%04X, expected 0x%04X",
                  crc16(footer.bytes.data(), layout::kFooterChecksumOffset), footer.checksum());
    return fail(why, reason);
  }
  const off_t room = fileSize - static_cast<off_t>(layoutSize + layout::kFooterSize);
  if (static_cast<off_t>(footer.dataLength()) > room) {
    return fail(why, "footer: data length " + std::to_string(footer.dataLength()) +
                         " exceeds the " + std::to_string(room) +
                         " bytes between header and footer");
  }
  if (fseeko(input, static_cast<off_t>(layoutSize), SEEK_SET) != 0) {
    return fail(why, "header: seek error");
  }

  traceFormatVersion = static_cast<uint16_t>(major);
  header.bytes.fill(0);
  std::memcpy(header.bytes.data(), image, layoutSize);
  if (layoutSize == layout::kHeaderSizeV5) {
    // The 180-byte layout has no first event: its checksum bytes are cleared
    // together with the first-event fields that take their place.
    std::memset(&header.bytes[layout::kFirstEventDateOffset], 0,
                layout::kStartGmtOffsetOffset - layout::kFirstEventDateOffset);
  }
  if (layoutSize != layout::kHeaderSizeV8) setDefaultGmtOffsets(header.bytes.data());
  return true;
}

}  // namespace qnvtab
