// The floor of a conversion: everything qnvtab cannot avoid, without the
// table. Reads, checks and expands every block of a trace with the project's
// own readers, then writes the given number of bytes in 1 MiB writes.
//
//   floor TRACE OUTPUT BYTES
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "decompress/expand_block.h"
#include "trace/block_reader.h"
#include "trace/file_handle.h"
#include "trace/trace_header.h"

int main(int argc, char** argv) {
  using namespace qnvtab;
  if (argc != 4) {
    std::fputs("usage: floor TRACE OUTPUT BYTES\n", stderr);
    return 2;
  }
  FileHandle input(std::fopen(argv[1], "rb"));
  if (!input) return 1;
  std::setvbuf(input.get(), nullptr, _IOFBF, 1 << 16);
  TraceHeader header = TraceHeader::fresh();
  TraceFooter footer;
  uint16_t version = 0;
  if (!readTraceHeader(input.get(), header, footer, version)) return 1;

  const uint32_t blockSize = footer.blockSize();
  std::vector<uint8_t> payload(blockSize + 1);
  std::vector<uint8_t> carry(2 * blockSize + 1);
  BlockHeader block;
  uint64_t expanded = 0;
  for (uint32_t number = 1; number <= footer.blockCount(); ++number) {
    if (readBlock(input.get(), footer, number, block, payload.data()) != BlockReadResult::Valid) {
      return 1;
    }
    int32_t used = 0;
    if (expandBlock(processUclService(), block, payload.data(), carry.data(), used,
                    static_cast<int32_t>(2 * blockSize)) != ExpandResult::Expanded) {
      return 1;
    }
    expanded += static_cast<uint64_t>(used);
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
