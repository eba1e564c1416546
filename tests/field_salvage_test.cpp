// Salvage of traces built like field traces, each damaged in twelve ways:
// every event whose bytes lie wholly in blocks that survive comes back, in
// order and as in the intact table, and no other row is written.
//
// QNVTAB_FIELD_DUMP=dir writes each damaged copy listed below the table,
// with its intact trace, as <kind>-<seed>-damaged.qnv and -intact.qnv.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "decompress/expand_block.h"
#include "field_traces.h"
#include "harness.h"
#include "table_fixtures.h"

namespace qnvtab {
namespace {

// QNVTAB_FIELD_TRACES=N sweeps N traces instead, for a wider measurement.
uint64_t traceCount() {
  const char* count = std::getenv("QNVTAB_FIELD_TRACES");
  return count != nullptr ? std::strtoull(count, nullptr, 10) : 180;
}

// The exit status that the binary gives for this outcome.
int exitStatus(const ConversionOutcome& outcome) {
  if (outcome.fault) return 1;
  switch (damageFound(outcome.salvage)) {
    case DamageFound::Inside:
      return 4;
    case DamageFound::AtEnd:
      return 3;
    case DamageFound::None:
      break;
  }
  return 0;
}

struct Tally {
  size_t traces = 0;
  size_t recoverable = 0;
  size_t recovered = 0;
  size_t invented = 0;
  // Records carried in the data of an event whose head was lost: they
  // frame as finely as events, and nothing in the bytes tells them apart.
  size_t carried = 0;
  size_t fromDamaged = 0;  // rows of events that lost some of their bytes
  size_t statusMismatches = 0;
  size_t given[5] = {};  // statuses 0, 1, 3 and 4 given
  size_t below98 = 0;
  size_t below90 = 0;
  double lowest = 100;

  void add(const Tally& one) {
    traces += one.traces;
    recoverable += one.recoverable;
    recovered += one.recovered;
    invented += one.invented;
    carried += one.carried;
    fromDamaged += one.fromDamaged;
    statusMismatches += one.statusMismatches;
    for (size_t i = 0; i < std::size(given); ++i) given[i] += one.given[i];
    below98 += one.below98;
    below90 += one.below90;
    lowest = std::min(lowest, one.lowest);
  }
  double recall() const { return recoverable == 0 ? 100 : 100.0 * recovered / recoverable; }
};

void printTally(const char* name, const Tally& t) {
  std::printf(
      "%-16s %6zu %11zu %9zu %7.3f%% %8zu %7zu %8zu %4zu %4zu %4zu %4zu %8zu %6zu %6.1f%%\n", name,
      t.traces, t.recoverable, t.recovered, t.recall(), t.invented, t.carried, t.fromDamaged,
      t.given[0], t.given[1], t.given[3], t.given[4], t.statusMismatches, t.below98, t.lowest);
}

// Walks the salvaged rows against the intact ones, in order.
Tally compare(const std::vector<std::string>& salvaged, const std::vector<std::string>& intact,
              const std::vector<bool>& recoverable) {
  Tally tally;
  tally.traces = 1;
  tally.recoverable = static_cast<size_t>(std::count(recoverable.begin(), recoverable.end(), true));
  size_t next = 0;
  for (const std::string& row : salvaged) {
    const auto match = std::find(intact.begin() + static_cast<ptrdiff_t>(next), intact.end(), row);
    if (match == intact.end()) {
      const std::string address = std::string("\t") + field::kCarriedRecordAddress + "\t";
      ++(row.find(address) != std::string::npos ? tally.carried : tally.invented);
      continue;
    }
    next = static_cast<size_t>(match - intact.begin());
    ++(recoverable[next] ? tally.recovered : tally.fromDamaged);
    ++next;
  }
  tally.lowest = tally.recall();
  tally.below98 = tally.lowest < 98;
  tally.below90 = tally.lowest < 90;
  return tally;
}

// The field traces' blocks: one for each call, stored when asked or when
// the stream would not fit the block size, and each expanding to what was
// given.
TEST(FieldSalvage, WriterAppendsOneBlockPerCall) {
  struct Case {
    const char* name;
    size_t size;
    bool text;
    bool stored;
    bool expectStored;
  };
  const Case cases[] = {
      {"text, compressed", 200, true, false, false},
      {"text, stored", 200, true, true, true},
      {"random bytes filling the block", 256, false, false, true},
      {"a few random bytes, grown by compression", 5, false, false, false},
      {"one byte, stored", 1, true, true, true},
  };
  builder::TraceSpec plan;
  plan.blockSize = 256;
  builder::TraceWriter writer(plan);
  field::Random random{7};
  std::vector<builder::Bytes> given;
  for (const Case& c : cases) {
    builder::Bytes bytes(c.size);
    for (uint8_t& b : bytes)
      b = static_cast<uint8_t>(c.text ? 'a' + random.below(3) : random.next());
    writer.appendBlock(bytes, c.stored);
    given.push_back(bytes);
  }
  const builder::Trace trace = writer.finish();
  ASSERT_EQ(trace.blockOffsets.size(), std::size(cases));
  size_t at = trace.headerSize;
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(trace.blockOffsets[i], at);
    EXPECT_EQ(trace.blockStored[i] != 0, cases[i].expectStored);
    BlockHeader header;
    std::copy_n(&trace.bytes[at], header.bytes.size(), header.bytes.begin());
    EXPECT_EQ(header.blockNumber(), i + 1);
    EXPECT_EQ(header.storedFlag(), cases[i].expectStored);
    builder::Bytes payload(&trace.bytes[at + header.bytes.size()],
                           &trace.bytes[at + header.bytes.size() + header.length()]);
    payload.push_back(0);  // the spare byte the expansion may read
    builder::Bytes expanded(plan.blockSize);
    const Expansion expansion = expandBlock(header, payload.data(), expanded);
    ASSERT_EQ(expansion.result, ExpandResult::Expanded);
    expanded.resize(expansion.produced);
    EXPECT_EQ(expanded, given[i]);
    at += header.bytes.size() + header.length();
  }
  EXPECT_EQ(trace.footerOffset, at);
}

TEST(FieldSalvage, EveryEventOfSurvivingBlocksAndNoOtherRow) {
  const auto started = std::chrono::steady_clock::now();
  const char* dump = std::getenv("QNVTAB_FIELD_DUMP");
  Tally kinds[field::kDamageKinds];
  std::vector<std::pair<double, std::string>> low;  // worst first, once sorted
  std::vector<std::string> statuses;
  std::vector<std::string> invented;
  for (uint64_t seed = 1, traces = traceCount(); seed <= traces; ++seed) {
    const field::FieldTrace trace = field::makeFieldTrace(seed);
    const testing::InProcessConversion intact = testing::convertInProcess(trace.bytes);
    ASSERT_FALSE(intact.outcome.fault) << "seed " << seed;
    ASSERT_EQ(static_cast<size_t>(intact.outcome.events), trace.events()) << "seed " << seed;
    ASSERT_EQ(intact.outcome.droppedBytes, 0u) << "seed " << seed;
    const std::vector<std::string> intactRows[2] = {testing::rowsWithout(intact.table, false),
                                                    testing::rowsWithout(intact.table, true)};
    for (size_t kind = 0; kind < field::kDamageKinds; ++kind) {
      const field::Damage damage = static_cast<field::Damage>(kind);
      const field::DamagedTrace damaged = field::damageTrace(trace, damage, seed * 1000 + kind);
      const testing::InProcessConversion run = testing::convertInProcess(damaged.bytes, {}, true);
      const Tally one = compare(testing::rowsWithout(run.table, damaged.headerChanged),
                                intactRows[damaged.headerChanged], damaged.recoverable);
      const int status = exitStatus(run.outcome);
      Tally& tally = kinds[kind];
      tally.add(one);
      tally.statusMismatches += status != damaged.expectedStatus;
      ++tally.given[status];

      char name[160];
      std::snprintf(name, sizeof name, "%s seed %llu (version %u, blocks of %u, %s%s)",
                    field::damageName(damage), static_cast<unsigned long long>(seed), trace.version,
                    unsigned{trace.blockSize}, field::modeName(trace.mode),
                    trace.recordsInData ? ", records in data" : "");
      char line[320];
      if (one.below98) {
        std::snprintf(line, sizeof line, "%s: recall %.1f%% (%zu of %zu), %zu blocks, %zu survive",
                      name, one.recall(), one.recovered, one.recoverable, trace.blocks.size(),
                      static_cast<size_t>(std::count(damaged.survivingBlocks.begin(),
                                                     damaged.survivingBlocks.end(), true)));
        low.emplace_back(one.recall(), line);
      }
      if (status != damaged.expectedStatus) {
        std::snprintf(line, sizeof line, "%s: status %d expected, %d given", name,
                      damaged.expectedStatus, status);
        statuses.push_back(line);
      }
      if (one.invented + one.carried + one.fromDamaged > 0) {
        std::snprintf(line, sizeof line,
                      "%s: %zu rows invented, %zu carried records, %zu from damaged blocks", name,
                      one.invented, one.carried, one.fromDamaged);
        invented.push_back(line);
      }
      const bool failing = one.below98 || status != damaged.expectedStatus || one.invented > 0 ||
                           one.fromDamaged > 0;
      if (dump != nullptr && failing) {
        const std::string stem =
            std::string(dump) + "/" + field::damageName(damage) + "-" + std::to_string(seed);
        testing::writeFile(stem + "-damaged.qnv", damaged.bytes);
        testing::writeFile(stem + "-intact.qnv", trace.bytes);
      }
    }
  }

  Tally total;
  std::printf("%-16s %6s %11s %9s %9s %8s %7s %8s %4s %4s %4s %4s %8s %6s %7s\n", "damage",
              "traces", "recoverable", "recovered", "recall", "invented", "carried", "damaged",
              "st 0", "st 1", "st 3", "st 4", "mismatch", "<98%", "lowest");
  for (size_t kind = 0; kind < field::kDamageKinds; ++kind) {
    printTally(field::damageName(static_cast<field::Damage>(kind)), kinds[kind]);
    total.add(kinds[kind]);
  }
  printTally("total", total);
  std::printf(
      "carried: rows of records carried in the data of an event whose head was lost; "
      "damaged: rows of events not recoverable; st N: runs that ended with status N; mismatch: "
      "statuses not as expected\n");
  std::stable_sort(low.begin(), low.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> lowest;
  for (const auto& entry : low) lowest.push_back(entry.second);
  for (const auto& [title, lines] :
       {std::pair{"below 98%, worst first", &lowest}, std::pair{"status", &statuses},
        std::pair{"rows invented or from damaged blocks", &invented}}) {
    if (!lines->empty()) std::printf("%s (%zu):\n", title, lines->size());
    for (const std::string& line : *lines) std::printf("  %s\n", line.c_str());
  }
  std::printf("%.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());

  EXPECT_EQ(total.invented, 0u);
  EXPECT_EQ(total.fromDamaged, 0u);
  EXPECT_GE(total.recall(), 99.9);
  EXPECT_EQ(total.below90, 0u);
  EXPECT_EQ(total.statusMismatches, 0u);
}

}  // namespace
}  // namespace qnvtab
