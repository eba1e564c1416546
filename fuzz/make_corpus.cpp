// Writes the fuzzer's seed corpus: traces of every version, stored,
// compressed and mixed blocks, records that straddle blocks, under each
// option byte.
#include <cstdio>
#include <string>

#include "writer/trace_writer.h"

namespace {

using namespace qnvtab::builder;

Bytes seedEvents(unsigned version, int count) {
  std::vector<EventSpec> events;
  for (int i = 0; i < count; ++i) {
    EventSpec event;
    event.timeStamp = 900 + static_cast<uint32_t>(i) * 170;
    event.cmd = static_cast<uint8_t>(i % 3 == 0 ? 0x14 : 0x10 + i);
    event.rc = i % 4 == 3 ? 0xFF : 0;
    event.lsnIn = static_cast<uint16_t>(i * 3);
    event.length = static_cast<uint16_t>(i * 5 % 40);
    for (int b = 0; b < (i * 7) % 50; ++b) event.data.push_back(static_cast<uint8_t>(b * 37 + i));
    events.push_back(event);
  }
  return encodeEvents(events, version);
}

bool writeSeed(const std::string& path, uint8_t options, const Bytes& trace) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  std::fputc(options, out);
  std::fwrite(trace.data(), 1, trace.size(), out);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus DIRECTORY\n");
    return 2;
  }
  const std::string directory = argv[1];
  const BlockMode modes[] = {BlockMode::Stored, BlockMode::Compressed, BlockMode::Alternating};
  int written = 0;
  for (unsigned version : {5u, 6u, 7u, 8u}) {
    for (BlockMode mode : modes) {
      TraceSpec plan;
      plan.header.version = version;
      plan.blockSize = 128;
      plan.mode = mode;
      const Trace trace = buildTrace(plan, seedEvents(version, 12));
      // Options vary with the seed; checksums are repaired for the layout of
      // the version (see the fuzz target).
      const unsigned layoutChoice = version >= 8 ? 2 : version == 7 ? 1 : 0;
      const uint8_t options = static_cast<uint8_t>(
          (version * 3 + static_cast<unsigned>(mode)) % 12 | 0x10 | layoutChoice << 5);
      const std::string name = directory + "/v" + std::to_string(version) + "-mode" +
                               std::to_string(static_cast<int>(mode));
      // And in salvage mode, cut short with a block's bytes lost inside.
      Bytes damaged(trace.bytes.begin(), trace.bytes.begin() + trace.bytes.size() * 3 / 4);
      damaged.erase(damaged.begin() + static_cast<ptrdiff_t>(trace.blockOffsets[1]),
                    damaged.begin() + static_cast<ptrdiff_t>(trace.blockOffsets[2]));
      if (!writeSeed(name, options, trace.bytes) ||
          !writeSeed(name + "-salvage", static_cast<uint8_t>((options & ~0x10) | 0x80), damaged)) {
        std::perror(name.c_str());
        return 1;
      }
      written += 2;
    }
  }
  std::printf("wrote %d seeds\n", written);
  return 0;
}
