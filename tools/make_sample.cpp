// Writes the sample trace kept in samples/: a short version-8 trace that
// shows every command mnemonic, failed (I) and passed (P) events, printable
// and binary payloads, short and cut dumps, and records that span blocks,
// in both stored and compressed blocks.
#include <cstdio>
#include <string>

#include "writer/trace_writer.h"
#include "trace/trace_format.h"

namespace {

using qnvtab::builder::Bytes;
using qnvtab::builder::EventSpec;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::vector<EventSpec> sampleEvents() {
  const uint8_t codes[] = {0x01, 0x02, 0x10, 0x11, 0x12, 0x14, 0x15, 0x35, 0x60,
                           0x62, 0x64, 0x65, 0x68, 0x70, 0x71, 0x72, 0x33};
  const Bytes payloads[] = {
      text("CALL HOST01"),
      {0x00, 0x01, 0x02, 0x03, 0xFE, 0xFF},
      text("Hello, \"world\"\r\n"),
      {},
      text("GET /status HTTP/1.0\r\n\r\n"),
      {0x7F, 0x20, 0x1F, 0x41, 0x42, 0x43},
  };
  std::vector<EventSpec> events;
  uint32_t stamp = 1000;
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < sizeof codes; ++i) {
      EventSpec event;
      event.timeStamp = stamp;
      stamp += 40 + static_cast<uint32_t>(i * 113 % 400) + (round == 1 && i == 8 ? 61000 : 0);
      event.poIn = static_cast<uint16_t>(i % 4);
      event.lsnIn = static_cast<uint16_t>(0x10 + i);
      event.poOut = static_cast<uint16_t>((i + 1) % 3);
      event.lsnOut = static_cast<uint16_t>(0x20 + round);
      event.cmd = codes[i];
      event.info = static_cast<uint8_t>(i & 3);
      event.rc = (i % 5 == 4) ? 0xFF : 0x00;
      event.bufferAddress = 0x2C00 + static_cast<uint32_t>(i) * 0x40;
      event.data = payloads[(i + round) % 6];
      // Some buffers were larger than what the device kept, some smaller.
      event.length = static_cast<uint16_t>(event.data.size() + (i % 3 == 1 ? 8 : 0));
      if (i % 7 == 3 && event.data.size() > 4) event.length = 4;
      events.push_back(event);
    }
  }
  EventSpec bulk;  // a long record that spans several blocks
  bulk.timeStamp = stamp;
  bulk.cmd = 0x15;
  bulk.poIn = 1;
  bulk.lsnIn = 0x42;
  bulk.bufferAddress = 0x8000;
  for (int i = 0; i < 200; ++i) bulk.data.push_back(static_cast<uint8_t>(i < 100 ? 'A' + i % 26 : i));
  bulk.length = static_cast<uint16_t>(bulk.data.size());
  events.push_back(bulk);
  return events;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.QNV\n");
    return 2;
  }
  qnvtab::builder::TraceSpec plan;
  plan.header.version = 8;
  plan.header.firstEventStamp = 1000;
  plan.header.startGmtOffset = {1, 2, 0, 0};
  plan.header.endGmtOffset = {1, 2, 0, 0};
  plan.header.firstEventGmtOffset = {1, 2, 0, 0};
  plan.blockSize = 256;
  plan.mode = qnvtab::builder::BlockMode::Alternating;
  const qnvtab::builder::Trace trace =
      qnvtab::builder::buildTrace(plan, qnvtab::builder::encodeEvents(sampleEvents(), 8));
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(trace.bytes.data(), 1, trace.bytes.size(), out) != trace.bytes.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
