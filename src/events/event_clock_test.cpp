#include "events/event_clock.h"

#include <gtest/gtest.h>

#include <string>

#include "events/calendar.h"
#include "events/time_text.h"
#include "trace/byte_source.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

// The millisecond continues the second: events before the first event of
// a trace that records it lie before it; older traces count their stamps
// unsigned from 1 January 1980.
TEST(EventClock, TimeOfAStampToTheMillisecond) {
  struct Case {
    unsigned version;
    uint32_t stamp;
    const char* time;
  };
  const Case cases[] = {
      {8, 1000, "2008-05-19 10:20:30.000"},      {8, 6001, "2008-05-19 10:20:35.001"},
      {8, 999, "2008-05-19 10:20:29.999"},       {7, 0, "2008-05-19 10:20:29.000"},
      {7, 1, "2008-05-19 10:20:29.001"},         {8, 1000 + 49'530'001, "2008-05-20 00:06:00.001"},
      {6, 3'723'999, "1980-01-01 01:02:03.999"}, {6, 999, "1980-01-01 00:00:00.999"},
      {5, 500, "1980-01-01 00:00:00.500"},       {5, 4'294'967'295, "1980-02-19 17:02:47.295"},
  };
  for (const Case& c : cases) {
    builder::HeaderSpec plan;
    plan.version = c.version;
    if (c.version < 7) plan.firstEventDate = {};
    const builder::Trace trace = builder::buildTrace({plan}, {});
    MemoryByteSource source(trace.bytes.data(), trace.bytes.size());
    HeaderRead read;
    ASSERT_FALSE(readTraceHeader(source, read));
    char text[kIsoTimeSize];
    writeIsoTime(text, EventClock(read.header, read.version).timeOf(c.stamp));
    EXPECT_EQ(std::string(text, kIsoTimeSize), c.time) << c.version << " " << c.stamp;
  }
}

}  // namespace
}  // namespace qnvtab
