#include "summary/summary_report.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "summary/event_sections.h"
#include "summary/markup.h"
#include "trace/trace_header.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

TEST(Markup, EscapesEveryCharacterThatEndsTextOrAnAttribute) {
  EXPECT_EQ(markupEscaped("<script>alert(1)</script>"), "&lt;script&gt;alert(1)&lt;/script&gt;");
  EXPECT_EQ(markupEscaped("\"><img src=x onerror=alert(2)>"),
            "&quot;&gt;&lt;img src=x onerror=alert(2)&gt;");
  EXPECT_EQ(markupEscaped("a&b 'c'"), "a&amp;b &#39;c&#39;");
  EXPECT_EQ(markupEscaped("TRACE.QNV \\x01 \xc3\xa9"), "TRACE.QNV \\x01 \xc3\xa9");
}

TEST(Report, BinWidthsReadAsRoundDurations) {
  EXPECT_EQ(durationText(2), "2 ms");
  EXPECT_EQ(durationText(200), "200 ms");
  EXPECT_EQ(durationText(1000), "1 s");
  EXPECT_EQ(durationText(30000), "30 s");
  EXPECT_EQ(durationText(300000), "5 min");
  EXPECT_EQ(durationText(6 * 3600000), "6 h");
  EXPECT_EQ(durationText(86400000), "1 day");
  EXPECT_EQ(durationText(364 * uint64_t{86400000}), "364 days");
}

// A summary at every bound the page lists: all 256 commands and return
// codes, the widest histogram, 256 damage regions, the most fault lines and
// long names everywhere, each of them all markup characters.
TEST(Report, StaysUnderOneMegabyteWhateverTheTrace) {
  std::vector<builder::EventSpec> planned;
  for (uint32_t i = 0; i < 4096; ++i) {
    builder::EventSpec event;
    event.timeStamp = i * 997331;  // over 45 days, bins of hours
    event.cmd = static_cast<uint8_t>(i);
    event.rc = static_cast<uint8_t>(i * 7);
    event.poIn = static_cast<uint16_t>(i);
    event.lsnIn = static_cast<uint16_t>(i * 3);
    event.poOut = static_cast<uint16_t>(i * 5);
    event.lsnOut = static_cast<uint16_t>(i * 11);
    planned.push_back(event);
  }
  const builder::Bytes stream = builder::encodeEvents(planned, 8);
  const builder::Bytes image = builder::buildHeader(builder::HeaderSpec{});
  HeaderRead header;
  std::copy(image.begin(), image.end(), header.header.bytes.begin());
  header.version = TraceVersion{8};
  EventStats events;
  ASSERT_TRUE(events.allocated());
  events.begin(header.header, header.version, RowOptions{});
  events.write({stream.data(), stream.size(), static_cast<uint32_t>(planned.size()), 1});

  TraceSummary summary;
  summary.fileName = std::string(4096, '<');
  summary.fileSize = uint64_t{4} << 30;
  summary.header = header;
  summary.salvage = true;
  summary.faults.assign(22, std::string(1000, '"'));
  for (uint64_t i = 0; i < DamageMap::kMaxRegions; ++i) {
    summary.damage.push_back(
        {i << 24, (i << 24) + 999, i % 2 ? RegionKind::Lost : RegionKind::Repaired});
  }
  summary.selection.assign(20, std::string(200, '&'));
  summary.events = &events;
  summary.figures.events = events.tally();
  const std::string page = summaryReport(summary);
  EXPECT_LT(page.size(), size_t{1} << 20);
  EXPECT_NE(page.find("in bins of 12 h"), std::string::npos);
  EXPECT_NE(page.find(">x0F<"), std::string::npos);  // the last command row's code
  EXPECT_EQ(page.find("<script"), std::string::npos);
}

TEST(Report, MapsTheFileOnlyWhereItsDamageIsKnown) {
  TraceSummary summary;
  summary.fileName = "T.QNV";
  summary.fileSize = 1000;
  EXPECT_NE(summaryReport(summary).find("1000 bytes intact, 0 repaired, 0 lost"),
            std::string::npos);
  summary.faults = {"block 3 at offset 400: payload checksum 0x1234, expected 0x4321"};
  const std::string stopped = summaryReport(summary);
  EXPECT_EQ(stopped.find("<svg"), std::string::npos);
  EXPECT_NE(stopped.find("--salvage maps"), std::string::npos);
  summary.salvage = true;
  summary.damage = {{400, 700, RegionKind::Lost}, {690, 706, RegionKind::Repaired}};
  EXPECT_NE(summaryReport(summary).find("694 bytes intact, 6 repaired, 300 lost"),
            std::string::npos);
}

TEST(Report, SaysHowACompressedTraceCame) {
  const std::pair<InputPacking, std::string> cases[] = {
      {{"gzip", 2, 812345678, 2029311956},
       "gzip, 2 members, 812,345,678 bytes \u2192 2,029,311,956"},
      {{"zstd", 1, 999, 1000}, "zstd, 1 member, 999 bytes \u2192 1,000"},
      {{"xz", 0, 0, 123456}, "xz, 0 bytes \u2192 123,456"},
  };
  for (const auto& [packing, text] : cases) EXPECT_EQ(packingText(packing), text);
  TraceSummary summary;
  summary.fileName = "T.QNV.gz";
  EXPECT_EQ(summaryReport(summary).find("<td>gzip, "), std::string::npos);
  summary.packing = cases[0].first;
  EXPECT_NE(summaryReport(summary).find(cases[0].second), std::string::npos);
}

}  // namespace
}  // namespace qnvtab
