// The traces of the tests of runs of several traces, made once in a
// folder: every version, stored, compressed and mixed blocks of 32 bytes
// to 64 KiB, few blocks and many, some damaged inside or at the end; then
// a missing path, a folder, a file that is no trace and a copy. And
// qnvtab's command lines for the shell: lists after --, runs in the
// background.
#ifndef QNVTAB_TESTS_SUPPORT_FLEET_FIXTURE_H_
#define QNVTAB_TESTS_SUPPORT_FLEET_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "event_mix.h"
#include "harness.h"

namespace qnvtab::testing {

using Strings = std::vector<std::string>;

enum class TraceKind { Sound, Inside, End, Unreadable, NotTrace, Copy };

struct TracePlan {
  const char* name;
  unsigned version;
  builder::BlockMode mode;
  uint16_t blockSize;
  size_t events;
  TraceKind kind;  // Sound, or where it is damaged
};

inline constexpr auto kStored = builder::BlockMode::Stored;
inline constexpr auto kPacked = builder::BlockMode::Compressed;
inline constexpr auto kMixed = builder::BlockMode::Alternating;
inline constexpr TracePlan kFleetPlans[] = {
    {"v5-tiny-stored.qnv", 5, kStored, 32, 150, TraceKind::Sound},
    {"v6-packed-512.qnv", 6, kPacked, 512, 400, TraceKind::Sound},
    {"v7-mixed-4k.qnv", 7, kMixed, 4096, 800, TraceKind::Sound},
    {"v8-packed-64k.qnv", 8, kPacked, 65535, 1500, TraceKind::Sound},
    {"v8-stored-64.qnv", 8, kStored, 64, 500, TraceKind::Sound},
    {"v7-stored-32k.qnv", 7, kStored, 32768, 300, TraceKind::Sound},
    {"v6-mixed-1k.qnv", 6, kMixed, 1024, 300, TraceKind::Sound},
    {"v5-packed-2k.qnv", 5, kPacked, 2048, 600, TraceKind::Sound},
    {"v8-packed-256-flipped.qnv", 8, kPacked, 256, 300, TraceKind::Inside},
    {"v7-stored-512-cut.qnv", 7, kStored, 512, 300, TraceKind::End},
    {"v5-stored-1k-flipped.qnv", 5, kStored, 1024, 300, TraceKind::Inside},
    {"v6-packed-16k-cut.qnv", 6, kPacked, 16384, 1500, TraceKind::End},
    {"v8-mixed-128-flipped.qnv", 8, kMixed, 128, 200, TraceKind::Inside},
};
inline constexpr size_t kFleetTraces = std::size(kFleetPlans);

// Records no longer than a block, as recorders write them; a bit flipped
// in a middle block, or the file cut inside the last block but one.
inline builder::Bytes makeFleetTrace(const TracePlan& plan, uint64_t seed) {
  builder::EventMixOptions mix;
  mix.wideLsn = plan.version != 5;
  mix.largeContentMax = static_cast<uint16_t>(std::min(300, plan.blockSize - 25));
  mix.commonContentMax = std::min<uint16_t>(64, mix.largeContentMax);
  builder::TraceSpec shape;
  shape.header.version = plan.version;
  shape.blockSize = plan.blockSize;
  shape.mode = plan.mode;
  shape.compressionLevel = 1;
  builder::Trace trace = builder::buildTrace(
      shape, builder::encodeEvents(builder::makeEventMix(seed, plan.events, mix), plan.version));
  const std::vector<size_t>& blocks = trace.blockOffsets;
  if (plan.kind == TraceKind::Inside) {
    builder::flipBit(trace.bytes, (blocks[blocks.size() / 2] + 9) * 8);
  }
  if (plan.kind == TraceKind::End) trace.bytes.resize(blocks[blocks.size() - 2] + 9);
  return trace.bytes;
}

// How a trace ends with or without --salvage: its status in the database
// and the exit status of a run of it alone.
inline std::pair<std::string, int> expectedEnd(TraceKind kind, bool salvage) {
  if (kind == TraceKind::Sound || kind == TraceKind::Copy) return {"sound", 0};
  if (salvage && kind == TraceKind::Inside) return {"damaged-inside", 4};
  if (salvage && kind == TraceKind::End) return {"damaged-end", 3};
  return {"failed", 1};
}

inline Strings with(Strings list, const Strings& more) {
  list.insert(list.end(), more.begin(), more.end());
  return list;
}

// Each word in single quotes, after a blank.
inline std::string words(const Strings& list) {
  std::string text;
  for (const std::string& word : list) {
    text += " '";
    for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += "'";
  }
  return text;
}

inline size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Whether `text` is `pattern`, whose one '*' stands for any text without
// a line end.
inline bool matches(const std::string& text, const std::string& pattern) {
  const size_t star = pattern.find('*');
  if (star == std::string::npos) return text == pattern;
  const size_t tail = pattern.size() - star - 1;
  return text.size() >= star + tail && text.compare(0, star, pattern, 0, star) == 0 &&
         text.compare(text.size() - tail, tail, pattern, star + 1, tail) == 0 &&
         text.find('\n', star) >= text.size() - tail;
}

inline std::string consoleBanner() {
  const std::string text = successText("", "");
  return text.substr(0, text.find("Conversion"));
}

// The last line of a run of several.
inline std::string fleetLine(size_t traces, size_t sound, size_t salvaged, size_t failed,
                             size_t held) {
  return "qnvtab: " + std::to_string(traces) + " traces: " + std::to_string(sound) + " sound, " +
         std::to_string(salvaged) + " salvaged, " + std::to_string(failed) + " failed" +
         (held > 0 ? ", " + std::to_string(held) + " already in the database" : "") + "\n";
}

// The files under `dir`, by relative path, with their bytes.
inline std::map<std::string, std::string> filesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& file : std::filesystem::recursive_directory_iterator(dir)) {
    files[std::filesystem::relative(file.path(), dir)] =
        file.is_directory() ? "<folder>" : readFile(file.path());
  }
  return files;
}

// The traces' folder and its list, kept for the whole suite.
class FleetTest : public ::testing::Test {
 protected:
  struct Entry {
    std::string path;  // as given, in the traces' folder
    TraceKind kind;
  };

  static void SetUpTestSuite() {
    folder_ = new TempDir;
    for (size_t i = 0; i < kFleetTraces; ++i) {
      writeFile(path(kFleetPlans[i].name), makeFleetTrace(kFleetPlans[i], 100 + i));
      entries_.push_back({kFleetPlans[i].name, kFleetPlans[i].kind});
    }
    std::filesystem::create_directories(path("a folder"));
    std::filesystem::create_directories(path("copies"));
    std::filesystem::copy_file(path(kFleetPlans[0].name), path("copies/tiny copy.qnv"));
    writeFile(path("notes.txt"), {'n', 'o', ' ', 't', 'r', 'a', 'c', 'e', '\n'});
    entries_.insert(entries_.end(), {{"missing.qnv", TraceKind::Unreadable},
                                     {"a folder", TraceKind::Unreadable},
                                     {"notes.txt", TraceKind::NotTrace},
                                     {"copies/tiny copy.qnv", TraceKind::Copy}});
  }
  static void TearDownTestSuite() {
    delete folder_;
    entries_.clear();
  }

  static std::string path(const std::string& entry) { return folder_->file(entry); }
  static Strings paths(size_t from = 0, size_t to = SIZE_MAX) {
    Strings list;
    for (size_t i = from; i < std::min(to, entries_.size()); ++i) list.push_back(entries_[i].path);
    return list;
  }
  // The shell's command for qnvtab: a simple command, so that `&` makes
  // it the shell's child; `in` is the `cd` to put before it.
  static std::string command(const Strings& arguments) {
    return "\"$QNVTAB\" --threads=" + std::to_string(suiteThreads()) + words(arguments);
  }
  static std::string in(const std::string& dir) { return "cd" + words({dir}) + " && "; }
  static std::string fleet(const Strings& options, const Strings& traces) {
    return command(with(with(options, {"--"}), traces));
  }
  // qnvtab in the traces' folder with `options`, then -- and `traces`.
  static RunResult runFleet(const Strings& options, const Strings& traces) {
    return runShell(in(folder_->path()) + fleet(options, traces));
  }
  static RunResult runOne(const std::string& trace, const Strings& options) {
    return runQnvtab(with({"-i" + trace}, options), folder_->path());
  }
  // The rows that a run of each trace alone writes with `options`, by path.
  static std::map<std::string, std::string> rowCounts(const Strings& traces,
                                                      const Strings& options) {
    std::map<std::string, std::string> counts;
    TempDir out;
    for (const std::string& trace : traces) {
      std::filesystem::remove(out.file("t.xls"));
      runOne(trace, with(options, {"-o" + out.file("t.xls")}));
      const size_t lines = occurrences(readFile(out.file("t.xls")), "\r\n");
      counts[trace] = std::to_string(lines == 0 ? 0 : lines - 1);
    }
    return counts;
  }

  inline static TempDir* folder_ = nullptr;
  inline static std::vector<Entry> entries_;
};

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_FLEET_FIXTURE_H_
