// The floor of a conversion: everything qnvtab cannot avoid, without the
// table. Reads, checks and expands every block of a trace with the project's
// own readers, then writes the given number of bytes in 1 MiB writes.
// With --library, compressed blocks are expanded by the UCL library alone,
// without the project's faster decoder.
//
//   floor [--library] TRACE OUTPUT BYTES
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decompress/expand_block.h"
#include "decompress/ucl_library.h"
#include "trace/block_reader.h"
#include "trace/byte_source.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"

int main(int argc, char** argv) {
  using namespace qnvtab;
  const bool library = argc > 1 && std::strcmp(argv[1], "--library") == 0;
  if (library) {
    --argc;
    ++argv;
  }
  if (argc != 4) {
    std::fputs("usage: floor [--library] TRACE OUTPUT BYTES\n", stderr);
    return 2;
  }
  if (library && initialiseUcl().status != UclServiceResult::Success) return 1;
  FileByteSource input;
  int error = 0;
  if (!input.open(argv[1], error)) return 1;
  HeaderRead header;
  TraceFooter footer;
  if (readTraceHeader(input, header) ||
      readTraceFooter(input, header.fileSize, header.layoutSize, footer)) {
    return 1;
  }

  BlockReader blocks(input, header.layoutSize, footer.blockSize());
  std::vector<uint8_t> carry(2 * size_t{footer.blockSize()});
  CheckedBlock block;
  uint64_t expanded = 0;
  for (uint32_t number = 1; number <= footer.blockCount(); ++number) {
    if (blocks.next(block)) return 1;
    if (library && !block.header.storedFlag()) {
      const UclResult decoded = decompressNrv2b({block.payload, block.header.length()}, carry);
      if (decoded.status != UclServiceResult::Success) return 1;
      expanded += decoded.produced;
      continue;
    }
    const Expansion expansion = expandBlock(block.header, block.payload, carry);
    if (expansion.result != ExpandResult::Expanded) return 1;
    expanded += expansion.produced;
  }

  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  const std::vector<char> chunk(size_t{1} << 20, 'x');
  for (unsigned long long left = std::strtoull(argv[3], nullptr, 10); left > 0;) {
    const size_t size = left < chunk.size() ? left : chunk.size();
    if (::write(out, chunk.data(), size) != static_cast<ssize_t>(size)) return 1;
    left -= size;
  }
  ::close(out);
  std::fprintf(stderr, "floor: %llu event bytes expanded\n", static_cast<unsigned long long>(expanded));
  return 0;
}
