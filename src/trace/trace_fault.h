// What can be wrong with a trace, as a value: the kind of fault, where it
// lies and the numbers that tell it apart. The readers report faults and
// never decide what follows; the run's policy and the command line do.
#ifndef QNVTAB_TRACE_TRACE_FAULT_H_
#define QNVTAB_TRACE_TRACE_FAULT_H_

#include <cstdint>
#include <string>

namespace qnvtab {

enum class FaultKind {
  // The header: `found` is the file size where it matters.
  SourceNotSized,
  FileTooShort,      // found: file size
  NoKnownLayout,
  UnsupportedVersion,   // detail: the version text
  UnsupportedRevision,  // detail: the revision text; found: layout size
  // The footer.
  FooterChecksum,    // found: computed, expected: stored
  DataLengthTooLong,  // found: dataLength, expected: room between header and footer
  // A block, at `offset` (its header), numbered `block` as expected.
  BlockHeaderCut,    // found: bytes there, expected: 6
  BlockTooLong,      // found: length, expected: blockSize
  BlockNumber,       // found: number read, expected: number expected
  EmptyBlock,
  PayloadCut,        // found: bytes there, expected: length
  PayloadChecksum,   // found: computed, expected: stored
  StoredOverflow,    // found: length, expected: free space
  DecompressFailed,  // expected: free space; libraryCode
  LibraryUnavailable,  // libraryCode
  // Anywhere.
  ReadFailed,        // systemError; offset: where the read began
  OutOfMemory,       // found: bytes asked for
};

struct Fault {
  FaultKind kind = FaultKind::NoKnownLayout;
  uint64_t offset = 0;
  uint32_t block = 0;  // 0: not in a block
  uint64_t found = 0;
  uint64_t expected = 0;
  int32_t libraryCode = 0;
  int systemError = 0;
  std::string detail;
};

inline Fault makeFault(FaultKind kind, uint64_t offset = 0, uint32_t block = 0) {
  Fault fault;
  fault.kind = kind;
  fault.offset = offset;
  fault.block = block;
  return fault;
}

// The machine lacks memory for `bytes` of buffers: no fault of the input.
inline Fault outOfMemory(uint64_t bytes) {
  Fault fault = makeFault(FaultKind::OutOfMemory);
  fault.found = bytes;
  return fault;
}
inline bool isOutOfMemory(const Fault& fault) { return fault.kind == FaultKind::OutOfMemory; }

// A read at `offset` that failed with the system's `error`.
inline Fault readFault(uint64_t offset, int error, uint32_t block = 0) {
  Fault fault = makeFault(FaultKind::ReadFailed, offset, block);
  fault.systemError = error;
  return fault;
}

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_TRACE_FAULT_H_
