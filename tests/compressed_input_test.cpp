// Traces read as they travel: compressed with gzip, zstd or xz, in one
// member or several, and through standard input from a pipe or a file:
// the table, status and console text of the plain file, its name aside.
// Compressed streams cut short or changed: the compressed offset named,
// the rows before kept, and a salvage that writes only rows of the trace.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "fleet_fixture.h"
#include "harness.h"

namespace qnvtab {
namespace {

using namespace testing;  // the suite's helpers

// How a trace at $T is packed into $T.SUFFIX.
struct Packing {
  const char* suffix;
  const char* command;
};
constexpr Packing kPackings[] = {
    {".gz", "gzip -6 -c \"$T\" >\"$T.gz\""},
    {".2.gz", "{ head -c 3000 \"$T\" | gzip -1; tail -c +3001 \"$T\" | gzip -9; } >\"$T.2.gz\""},
    {".3.zst",
     "{ head -c 2000 \"$T\" | zstd -q -3; head -c 9000 \"$T\" | tail -c +2001 | zstd -q -1; "
     "tail -c +9001 \"$T\" | zstd -q -19; } >\"$T.3.zst\""},
    {".xz", "xz -6 -T1 -c \"$T\" >\"$T.xz\""},
};

// A member or frame for every 4 KiB of the trace.
constexpr Packing kManyMembers[] = {
    {".m.gz", "split -b 4096 --filter='gzip -6' \"$T\" >\"$T.m.gz\""},
    {".m.zst", "split -b 4096 --filter='zstd -q -3' \"$T\" >\"$T.m.zst\""},
};

std::string packed(const std::string& trace, const Packing& packing) {
  const RunResult made = runShell("T='" + trace + "'; " + packing.command);
  EXPECT_EQ(made.status, 0) << made.err;
  return trace + packing.suffix;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string shellCommand(const Strings& arguments) {
  std::string command = "\"$QNVTAB\" --threads=" + std::to_string(suiteThreads());
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  return command;
}

// Every trace of the fleet, sound and damaged, each way it may come.
TEST(CompressedInput, EveryWayTheBytesComeGivesTheSameRun) {
  TempDir dir;
  for (size_t i = 0; i < kFleetTraces; ++i) {
    const TracePlan& plan = kFleetPlans[i];
    const std::string trace = dir.file(plan.name);
    writeFile(trace, makeFleetTrace(plan, 7 + i));
    std::vector<std::string> ways;
    for (const Packing& packing : kPackings) ways.push_back(packed(trace, packing));
    for (const Strings& options : {Strings{}, Strings{"--salvage", "--info=json"}}) {
      const std::string table = dir.file("plain.xls");
      const RunResult plain = runQnvtab(with({"-i" + trace, "-o" + table}, options));
      const std::string expected = readFile(table);
      const std::string other = dir.file("other.xls");
      const auto expectSameRun = [&](RunResult run, const std::string& name, bool compressed) {
        EXPECT_EQ(run.status, plain.status);
        // The summary says how the file came, beside what the plain one says.
        const size_t packing = run.out.find(",\n    \"compression\": {\n      \"format\": ");
        if (packing != std::string::npos) {
          run.out.erase(packing, run.out.find("\n    }", packing) + 6 - packing);
        }
        EXPECT_EQ(packing != std::string::npos, compressed && options.size() > 1);
        EXPECT_EQ(run.out, replaced(replaced(plain.out, trace, name), table, other));
        EXPECT_EQ(run.err, replaced(replaced(plain.err, trace, name), table, other));
        EXPECT_TRUE(readFile(other) == expected);
      };
      for (const std::string& way : ways) {
        SCOPED_TRACE(way + (options.empty() ? "" : " " + options[0]));
        expectSameRun(runQnvtab(with({"-i" + way, "-o" + other}, options)), way, true);
        const Strings piped = with({"-i-", "-o" + other}, options);
        expectSameRun(runShell("cat '" + way + "' | " + shellCommand(piped)), "-", true);
      }
      SCOPED_TRACE(std::string(plan.name) + " on standard input");
      const Strings redirected = with({"-i-", "-o" + other}, options);
      expectSameRun(runShell(shellCommand(redirected) + " <'" + trace + "'"), "-", false);
    }
  }
}

// The cells of a table's last row but its number.
std::string lastRowCells(const std::string& table) {
  const size_t row = table.rfind('\n', table.size() - 2) + 1;
  return table.substr(table.find('\t', row));
}

// Cut at 20 points and a byte changed at 20 points, in gzip of two members,
// zstd of three frames and both of a member for every 4 KiB: strict, the damage named with its
// compressed offset and status 1; --salvage, rows of the trace only, in their order, and the later
// members read on past damage.
TEST(CompressedInput, DamagedStreamsAreNamedAndSalvageInventsNoRow) {
  TempDir dir;
  const TracePlan plan = {"v7-mixed-1k.qnv", 7, kMixed, 1024, 3000, TraceKind::Sound};
  const std::string trace = dir.file(plan.name);
  writeFile(trace, makeFleetTrace(plan, 3));
  ASSERT_EQ(runQnvtab({"-i" + trace, "-o" + dir.file("plain.xls")}).status, 0);
  const std::string plainTable = readFile(dir.file("plain.xls"));
  for (const Packing& packing : {kPackings[1], kPackings[2], kManyMembers[0], kManyMembers[1]}) {
    const std::string whole = readFile(packed(trace, packing));
    int namedCuts = 0;
    int readOn = 0;
    for (int point = 0; point < 40; ++point) {
      const bool cut = point < 20;
      const size_t at = 12 + (whole.size() - 13) * static_cast<size_t>(point % 20) / 20;
      std::string bytes = whole;
      if (cut) {
        bytes.resize(at);
      } else {
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
      }
      const std::string damaged = dir.file(std::string("damaged") + packing.suffix);
      writeFile(damaged, builder::Bytes(bytes.begin(), bytes.end()));
      SCOPED_TRACE(std::string(packing.suffix) + (cut ? " cut at " : " changed at ") +
                   std::to_string(at));
      const RunResult strict = runQnvtab({"-i" + damaged, "-o" + dir.file("strict.xls")});
      const size_t named = strict.err.find("qnvtab: " + damaged + ": compressed data ");
      if (strict.status == 0) {
        // Only a byte the format leaves unchecked, such as a gzip member's
        // time, changes nothing.
        EXPECT_FALSE(cut);
        EXPECT_TRUE(readFile(dir.file("strict.xls")) == plainTable);
        continue;
      }
      EXPECT_EQ(strict.status, 1) << strict.err;
      namedCuts += cut && named != std::string::npos ? 1 : 0;
      if (cut && named != std::string::npos) {
        EXPECT_NE(strict.err.find("ends early at compressed byte " + std::to_string(at) + "\n"),
                  std::string::npos)
            << strict.err;
      }
      const RunResult salvaged =
          runQnvtab({"-i" + damaged, "-o" + dir.file("salvaged.xls"), "--salvage"});
      // Status 1 only where nothing of a trace was decoded.
      EXPECT_TRUE(salvaged.status == 0 || salvaged.status == 3 || salvaged.status == 4 ||
                  (salvaged.status == 1 && strict.err.find("no known layout") != std::string::npos))
          << salvaged.err;
      // Each row is a row of the plain table, after the one before it; its
      // number counts the rows written, so it is left aside.
      const std::string table = readFile(dir.file("salvaged.xls"));
      size_t from = 0;
      for (size_t row = 0, end; row < table.size(); row = end + 1) {
        end = table.find('\n', row);
        ASSERT_NE(end, std::string::npos);
        const size_t cells = table.find('\t', row);
        const size_t found = plainTable.find(table.substr(cells, end + 1 - cells), from);
        ASSERT_NE(found, std::string::npos) << "row not of the trace: " << table.substr(row, 80);
        from = found + 1;
      }
      // Read on past damage in an earlier member, the last one comes back
      // whole, and the trace's last event with it, once the header was
      // decoded before the damage.
      if (salvaged.status != 1 && salvaged.err.find("read on from the next") != std::string::npos) {
        ++readOn;
        EXPECT_EQ(lastRowCells(table), lastRowCells(plainTable)) << salvaged.err;
      }
    }
    if (packing.suffix[1] == 'm') {
      EXPECT_GE(readOn, 15);
    }
    // Only a cut between two members leaves whole ones, and no damage.
    EXPECT_GE(namedCuts, 19);
  }
}

bool isEmptyFolder(const std::string& path) {
  return runShell("[ -z \"$(ls -A '" + path + "')\" ]").status == 0;
}

// The decoded bytes are kept in a file without a name: none is seen in
// TMPDIR while a run waits on its pipe, nor after it is killed or ends. A
// TMPDIR that cannot hold them is a clear message and status 1.
TEST(CompressedInput, TheDecodedCopyLeavesNothingBehind) {
  TempDir dir, tmp;
  const TracePlan plan = {"big.qnv", 8, kPacked, 65535, 20000, TraceKind::Sound};
  const std::string trace = dir.file(plan.name);
  writeFile(trace, makeFleetTrace(plan, 5));
  const std::string gz = packed(trace, kPackings[0]);
  const std::string env = "TMPDIR='" + tmp.path() + "' ";
  const RunResult whole = runShell(env + shellCommand({"-i" + gz, "-o" + dir.file("o.xls")}));
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_TRUE(isEmptyFolder(tmp.path()));

  const RunResult killed = runShell(
      "{ cat '" + gz + "'; sleep 3; } | " + env + shellCommand({"-i-", "-o" + dir.file("k.xls")}) +
      " & sleep 0.5; [ -z \"$(ls -A '" + tmp.path() + "')\" ] && echo unseen; kill -9 $!; wait $!");
  EXPECT_EQ(killed.out, "unseen\n");
  EXPECT_TRUE(isEmptyFolder(tmp.path()));

  // A signal while a stalled pipe is read ends the run at once: the shell
  // says its status and how long it took, in milliseconds.
  const std::string fifo = dir.file("fifo");
  const RunResult stopped = runShell(
      "mkfifo '" + fifo + "'; { cat '" + gz + "'; exec sleep 5; } >'" + fifo + "' 2>/dev/null & " +
      env + shellCommand({"-i-", "-o" + dir.file("s.xls")}) + " <'" + fifo +
      "' & sleep 0.5; from=$(date +%s%N); kill -TERM $!; wait $!; status=$?; "
      "echo $status $((($(date +%s%N) - from) / 1000000)); kill $(jobs -p) 2>/dev/null; exit 0");
  const size_t space = stopped.out.find(' ');
  ASSERT_NE(space, std::string::npos) << stopped.out;
  EXPECT_EQ(stopped.out.substr(0, space), std::to_string(128 + SIGTERM));
  EXPECT_LT(std::stoi(stopped.out.substr(space + 1)), 2000);
  EXPECT_EQ(stopped.err, "qnvtab: interrupted after event 0 (SIGTERM)\n");
  EXPECT_TRUE(isEmptyFolder(tmp.path()));

  const RunResult full =
      runShell("ulimit -f 64; " + env + shellCommand({"-i" + gz, "-o" + dir.file("f.xls")}));
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.out, "Cannot open input file!\n");
  EXPECT_EQ(full.err,
            "qnvtab: " + tmp.path() + ": cannot hold the trace's decoded bytes: File too large\n");
  EXPECT_TRUE(isEmptyFolder(tmp.path()));
}

}  // namespace
}  // namespace qnvtab
