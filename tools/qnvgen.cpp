// qnvgen: writes a synthetic trace of any version, size and block layout,
// with a realistic event mix; the same seed always gives the same file.
//
//   qnvgen -o FILE [--version 5..8] [--events N] [--block-size N]
//          [--stored] [--level 1..10] [--seed N]
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

#include "event_mix.h"
#include "writer/trace_writer.h"

namespace {

using namespace qnvtab::builder;

struct GeneratorOptions {
  std::string output;
  unsigned version = 8;
  size_t events = 2000000;
  unsigned blockSize = 8192;
  bool stored = false;
  int level = 1;
  uint64_t seed = 1;
};

int usage() {
  std::fputs(
      "usage: qnvgen -o FILE [--version 5..8] [--events N] [--block-size N]\n"
      "              [--stored] [--level 1..10] [--seed N]\n",
      stderr);
  return 2;
}

// Device payloads repeat themselves (protocol frames, host names, buffers
// sent twice), so a real trace compresses. Payloads are therefore cut from
// a fixed text and a fixed block of binary bytes at random places, keeping
// each event's size and its kind of bytes.
class PayloadPool {
 public:
  PayloadPool() {
    const std::string phrases =
        "CALL HOST01 LISTEN * SEND 0042 RECEIVE OK GET /status HTTP/1.0\r\n"
        "Host: qnv-gw-7\r\nContent-Length: 512\r\n\r\n<frame id=\"17\" seq=\"0009\"/> "
        "HANGUP 00 CANCEL pending; MAINT window 02:00-03:00 \"ok\" DIAG 7E 7E ";
    while (text_.size() < 2048) text_ += phrases;
    uint32_t state = 12345;
    for (uint8_t& b : binary_) {
      state = state * 1103515245 + 12345;
      b = static_cast<uint8_t>(state >> 16);
    }
  }

  void refill(Bytes& data, EventMix& random) const {
    if (data.empty()) return;
    const bool printable = data[0] >= 32 && data[0] <= 126;
    const uint8_t* source = printable ? reinterpret_cast<const uint8_t*>(text_.data()) : binary_;
    const size_t poolSize = printable ? text_.size() : sizeof binary_;
    for (size_t done = 0; done < data.size();) {
      const size_t start = random.below(static_cast<uint32_t>(poolSize));
      const size_t run = std::min(data.size() - done, poolSize - start);
      std::copy(source + start, source + start + run, data.begin() + static_cast<ptrdiff_t>(done));
      done += run;
    }
  }

 private:
  std::string text_;
  uint8_t binary_[1024];
};

bool parse(int argc, char** argv, GeneratorOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--stored") {
      options.stored = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    const unsigned long long number = std::strtoull(value, nullptr, 10);
    if (flag == "-o") {
      options.output = value;
    } else if (flag == "--version" && number >= 5 && number <= 8) {
      options.version = static_cast<unsigned>(number);
    } else if (flag == "--events") {
      options.events = number;
    } else if (flag == "--block-size" && number >= 64 && number <= 65535) {
      options.blockSize = static_cast<unsigned>(number);
    } else if (flag == "--level" && number >= 1 && number <= 10) {
      options.level = static_cast<int>(number);
    } else if (flag == "--seed") {
      options.seed = number;
    } else {
      return false;
    }
  }
  return !options.output.empty();
}

}  // namespace

int main(int argc, char** argv) {
  GeneratorOptions options;
  if (!parse(argc, argv, options)) return usage();

  TraceSpec plan;
  plan.header.version = options.version;
  plan.blockSize = static_cast<uint16_t>(options.blockSize);
  plan.mode = options.stored ? BlockMode::Stored : BlockMode::Compressed;
  plan.compressionLevel = options.level;

  // About 45 data bytes per event: mostly 0 to 64, one in 37 up to 1 KiB,
  // never more than a block can carry with its head.
  EventMixOptions mix;
  mix.commonContentMax = 64;
  mix.largeContentOneIn = 37;
  mix.largeContentMax = static_cast<uint16_t>(std::min<unsigned>(1024, options.blockSize - 25));
  mix.wideLsn = options.version != 5;
  EventMix events(options.seed, mix);

  const PayloadPool pool;
  TraceWriter writer(plan);
  for (size_t i = 0; i < options.events; ++i) {
    EventSpec event = events.next();
    pool.refill(event.data, events);
    writer.append(encodeEvent(event, options.version));
  }
  const Trace trace = writer.finish();
  if (trace.blockOffsets.size() > 32767) {
    std::fprintf(stderr, "qnvgen: %zu blocks: a trace holds at most 32767\n", trace.blockOffsets.size());
    return 1;
  }
  std::FILE* out = std::fopen(options.output.c_str(), "wb");
  if (out == nullptr ||
      std::fwrite(trace.bytes.data(), 1, trace.bytes.size(), out) != trace.bytes.size() ||
      std::fclose(out) != 0) {
    std::perror(options.output.c_str());
    return 1;
  }
  return 0;
}
