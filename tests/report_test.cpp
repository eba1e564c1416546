// The --report page end to end: the real binary writes it for a trace whose
// name holds markup, and headless Chromium opens it as a reader would.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "event_mix.h"
#include "harness.h"
#include "summary/trace_summary.h"
#include "table_fixtures.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

// A file name and a header description that would run script if a page
// took them for markup; a name holds no slash, and an unclosed <script>
// element runs as well.
const std::string kHostileName = "<script>alert(1)\"><img src=x onerror=alert(2)>.QNV";
const std::string kHostileDescription = "\"><script>alert(3)</script>";

struct CommandFigures {
  uint64_t events = 0;
  uint64_t errors = 0;
};
using CommandCounts = std::map<std::string, CommandFigures>;  // by Cmd text

builder::Trace makeTrace(std::vector<builder::EventSpec>& events) {
  builder::EventMixOptions mix;
  mix.maxStampStep = 1500;  // some minutes in all
  events = builder::makeEventMix(23, 500, mix);
  builder::TraceSpec plan;
  plan.blockSize = 1024;
  plan.header.description = kHostileDescription;
  return builder::buildTrace(plan, builder::encodeEvents(events, 8));
}

// The counts per command of a table's rows (Cmd and RC cells quoted).
CommandCounts countsOfTable(const std::string& table, uint64_t& rows) {
  CommandCounts counts;
  rows = 0;
  const std::vector<std::string> lines = testing::split(table, "\r\n");
  for (size_t i = 1; i + 1 < lines.size(); ++i, ++rows) {
    const std::vector<std::string> cells = testing::split(lines[i], "\t");
    CommandFigures& figures = counts[cells.at(4).substr(1, 2)];
    ++figures.events;
    figures.errors += cells.at(6) == "\"xFF\"" ? 1 : 0;
  }
  return counts;
}

// The text a reader sees: the body without its tags, each tag a space.
std::string visibleText(const std::string& dom) {
  std::string text;
  bool inTag = false;
  for (const char c : dom.substr(dom.find("<body"))) {
    if (c == '<') inTag = true;
    if (!inTag) text += c;
    if (c == '>') {
      inTag = false;
      if (text.empty() || text.back() != ' ') text += ' ';
    }
  }
  return text;
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Where the screenshots are kept: $TEST_UNDECLARED_OUTPUTS_DIR, else
// test-output/threadsN beside the binary.
std::string outputFolder() {
  const char* declared = std::getenv("TEST_UNDECLARED_OUTPUTS_DIR");
  const std::filesystem::path folder =
      declared != nullptr ? std::filesystem::path(declared)
                          : std::filesystem::path(QNVTAB_BINARY).parent_path() / "test-output" /
                                ("threads" + std::to_string(testing::suiteThreads()));
  std::filesystem::create_directories(folder);
  return folder.string();
}

struct BrowserView {
  std::string dom;
  std::string log;
};

// One Chromium run: the DOM after loading, its console log, a screenshot.
BrowserView openInChromium(const std::string& page, const std::string& screenshot) {
  const testing::TempDir profile;
  const testing::RunResult run = testing::runShell(
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --user-data-dir='" +
      profile.path() + "' --enable-logging=stderr --v=0 --window-size=1200,2400 --screenshot='" +
      screenshot + "' --dump-dom 'file://" + page + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  return {run.out, run.err};
}

// What every report must show in the browser, whatever the trace.
void checkPage(const BrowserView& view, const CommandCounts& counts, uint64_t events,
               size_t charts) {
  const std::string text = visibleText(view.dom);
  EXPECT_NE(text.find("events " + std::to_string(events) + " "), std::string::npos) << text;
  // A row of the commands' table: Cmd, code, events, errors, data bytes.
  for (const auto& [cmd, figures] : counts) {
    const size_t at = text.find(" " + cmd + " x");
    ASSERT_NE(at, std::string::npos) << cmd;
    const std::string numbers =
        " " + std::to_string(figures.events) + " " + std::to_string(figures.errors) + " ";
    EXPECT_EQ(text.compare(at + cmd.size() + 5, numbers.size(), numbers), 0)
        << cmd << numbers << text.substr(at, 40);
  }
  EXPECT_EQ(occurrences(view.dom, "<svg"), charts);
  EXPECT_EQ(occurrences(view.dom, "<svg role=\"img\""), charts);
  // The hostile texts are there as text, and no element came out of them.
  EXPECT_NE(view.dom.find("&lt;script&gt;alert(1)\"&gt;&lt;img src=x onerror=alert(2)&gt;.QNV"),
            std::string::npos);
  EXPECT_NE(view.dom.find("\"&gt;&lt;script&gt;alert(3)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(view.dom.find("<script"), std::string::npos);
  EXPECT_EQ(view.dom.find("<img"), std::string::npos);
  EXPECT_EQ(view.log.find(":CONSOLE"), std::string::npos) << view.log;
}

bool chromiumMissing() { return testing::runShell("command -v chromium").status != 0; }

TEST(Report, OpensInChromiumWithTheFactsAndRunsNoInjectedMarkup) {
  if (chromiumMissing()) GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
  std::vector<builder::EventSpec> events;
  const builder::Trace trace = makeTrace(events);
  CommandCounts counts;
  for (const builder::EventSpec& event : events) {
    CommandFigures& figures = counts[commandText(event.cmd)];
    ++figures.events;
    figures.errors += event.rc == 0xFF ? 1 : 0;
  }
  const testing::TempDir folder;
  testing::writeFile(folder.file(kHostileName), trace.bytes);
  const testing::RunResult run =
      testing::runQnvtab({"-i" + kHostileName, "--test", "--report=report.html"}, folder.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = testing::readFile(folder.file("report.html"));
  EXPECT_LT(page.size(), 1u << 20);
  const std::string screenshot = outputFolder() + "/report.png";
  const BrowserView view = openInChromium(folder.file("report.html"), screenshot);
  // The map, the time histogram, the commands, and the four ports and sessions.
  checkPage(view, counts, events.size(), 7);
  EXPECT_NE(view.dom.find("sound"), std::string::npos);
  EXPECT_TRUE(testing::fileExists(screenshot));
  std::printf("screenshot: %s\n", screenshot.c_str());
}

TEST(Report, ShowsTheLostAndRepairedRegionsOfASalvagedTrace) {
  if (chromiumMissing()) GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
  std::vector<builder::EventSpec> events;
  builder::Trace trace = makeTrace(events);
  ASSERT_GE(trace.blockOffsets.size(), 8u);
  builder::flipBit(trace.bytes, (trace.blockOffsets[5] + 20) * 8);  // block 6 lost
  // Block 3 renumbered, its stored flag kept.
  builder::setU16(trace.bytes, trace.blockOffsets[2], trace.blockStored[2] ? 0x8000 | 40 : 40);
  const testing::TempDir folder;
  testing::writeFile(folder.file(kHostileName), trace.bytes);
  const testing::RunResult run = testing::runQnvtab(
      {"-i" + kHostileName, "-oTABLE.XLS", "--salvage", "--events=5-", "--report=report.html"},
      folder.path());
  ASSERT_EQ(run.status, 4) << run.err;
  uint64_t rows = 0;
  const CommandCounts counts = countsOfTable(testing::readFile(folder.file("TABLE.XLS")), rows);
  ASSERT_GT(rows, 0u);
  ASSERT_LT(rows, events.size() - 4);
  const std::string screenshot = outputFolder() + "/report-salvage.png";
  const BrowserView view = openInChromium(folder.file("report.html"), screenshot);
  checkPage(view, counts, rows, 7);
  const std::string text = visibleText(view.dom);
  EXPECT_NE(text.find("damaged"), std::string::npos);
  EXPECT_NE(text.find("--events=5-"), std::string::npos);
  EXPECT_NE(text.find(" lost " + std::to_string(trace.blockOffsets[5]) + " "), std::string::npos)
      << text;
  EXPECT_NE(text.find(" repaired " + std::to_string(trace.blockOffsets[2]) + " "),
            std::string::npos);
  EXPECT_TRUE(testing::fileExists(screenshot));
}

}  // namespace
}  // namespace qnvtab
