#include "cli/diagnosis.h"

#include <cstdio>
#include <cstring>

#include "trace/trace_format.h"

namespace qnvtab {
namespace {

std::string hex16(uint64_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

std::string number(uint64_t value) { return std::to_string(value); }

std::string readFailure(const Fault& fault) {
  return "reading failed: " +
         (fault.systemError != 0 ? systemReason(fault.systemError) : "the file ended early");
}

std::string describeHeaderOrFooter(const Fault& fault) {
  switch (fault.kind) {
    case FaultKind::SourceNotSized:
      return "header: the file cannot be sized";
    case FaultKind::FileTooShort:
      return "header: no known layout (file of " + number(fault.found) +
             " bytes is shorter than the smallest header and footer)";
    case FaultKind::NoKnownLayout:
      return "header: no known layout (no checksum, tag and version fit)";
    case FaultKind::UnsupportedVersion:
      return "header: version '" + fault.detail + "' is not supported in the " +
             number(layout::kHeaderSizeV5) + "-byte layout";
    case FaultKind::UnsupportedRevision:
      return "header: revision '" + fault.detail + "' of the " + number(fault.found) +
             "-byte layout is not supported";
    case FaultKind::FooterChecksum:
      return "footer: checksum " + hex16(fault.found) + ", expected " + hex16(fault.expected);
    case FaultKind::DataLengthTooLong:
      return "footer: data length " + number(fault.found) + " exceeds the " +
             number(fault.expected) + " bytes between header and footer";
    case FaultKind::ReadFailed:
      return (fault.offset == 0 ? "header: " : "footer: ") + readFailure(fault);
    case FaultKind::OutOfMemory:
      return "out of memory: " + number(fault.found) + " bytes of buffers cannot be allocated";
    default:
      return "";
  }
}

std::string describeBlockFault(const Fault& fault) {
  const std::string room = " the " + number(fault.expected) + " bytes left in the buffer";
  const std::string library = " (UCL error " + std::to_string(fault.libraryCode) + ")";
  switch (fault.kind) {
    case FaultKind::BlockHeaderCut:
      return "block header cut short by the end of the file (" + number(fault.found) + " of " +
             number(layout::kBlockHeaderSize) + " bytes)";
    case FaultKind::BlockTooLong:
      return "payload length " + number(fault.found) + " exceeds the block size " +
             number(fault.expected);
    case FaultKind::BlockNumber:
      return "block number " + number(fault.found) + ", expected " + number(fault.expected);
    case FaultKind::EmptyBlock:
      return "payload length 0";
    case FaultKind::PayloadCut:
      return "payload cut short by the end of the file (" + number(fault.found) + " of " +
             number(fault.expected) + " bytes)";
    case FaultKind::PayloadChecksum:
      return "payload checksum " + hex16(fault.found) + ", expected " + hex16(fault.expected);
    case FaultKind::StoredOverflow:
      return "stored payload of " + number(fault.found) + " bytes exceeds" + room;
    case FaultKind::DecompressFailed:
      return "compressed payload faulty or larger than" + room + library;
    case FaultKind::LibraryUnavailable:
      return "the decompression library cannot be initialised" + library;
    case FaultKind::ReadFailed:
      return readFailure(fault);
    default:
      return "";
  }
}

}  // namespace

std::string systemReason(int error) { return std::strerror(error); }

std::string describeFault(const Fault& fault) {
  if (fault.block == 0) return describeHeaderOrFooter(fault);
  return "block " + number(fault.block) + " at offset " + number(fault.offset) + ": " +
         describeBlockFault(fault);
}

}  // namespace qnvtab
