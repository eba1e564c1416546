#include "events/record_resync.h"

#include <algorithm>
#include <array>

#include "events/command_names.h"
#include "events/event_record.h"

namespace qnvtab {
namespace {

// Below this many intact records, their habits are not known yet.
constexpr uint64_t kRecordsToJudgeBy = 16;
// A chain of this many whole records confirms its first offset.
constexpr int32_t kConfirmingRecords = 8;
// How far one stamp may run ahead of the one before: while the trace's
// habits are unknown a minute, else a multiple of the largest step seen,
// within a minute and a day.
constexpr uint32_t kMinForwardStep = 60 * 1000;
constexpr uint32_t kMaxForwardStep = 24 * 60 * 60 * 1000;
constexpr uint64_t kStepsSeenMultiple = 64;

// A table, since every intact record's code is looked up.
bool isKnownCommand(uint8_t code) {
  static const std::array<bool, 256> known = [] {
    std::array<bool, 256> table{};
    for (size_t c = 0; c < table.size(); ++c) table[c] = commandMnemonic(c) != nullptr;
    return table;
  }();
  return known[code];
}

// Nearly always: at most one case in a hundred goes the other way.
bool nearlyAll(uint64_t count, uint64_t of) { return of > 0 && 100 * count >= 99 * of; }

// A short chain that ends in a record not yet whole, more than this many
// times larger than any record it holds or any intact one, ends in chance
// bytes.
constexpr size_t kOpenRecordMultiple = 4;

// A record that holds a finer parse and is more than this many times larger
// than any intact record is chance bytes; an event that carries records is
// not that much larger than the others.
constexpr size_t kChanceRecordMultiple = 16;

constexpr int32_t kBreaks = -1;  // ChainLink::records of a chain that breaks

bool stampFollows(uint32_t before, uint32_t stamp, const ChainRules& rules) {
  const int64_t step = int64_t{stamp} - int64_t{before};
  return step >= -int64_t{rules.maxBackStep} && step <= int64_t{rules.maxForwardStep};
}

struct Stream {
  std::span<const uint8_t> bytes;
  const layout::EventHeadLayout& head;
  const ChainRules& rules;

  uint32_t stampAt(size_t offset) const { return loadU32(bytes.data() + offset + head.timeStamp); }
  size_t next(size_t offset) const { return offset + recordSize(bytes.data() + offset, head); }
  bool wholeHeadAt(size_t offset) const { return bytes.size() - offset >= head.size; }
  bool wholeRecordAt(size_t offset) const {
    return wholeHeadAt(offset) && next(offset) <= bytes.size();
  }
};

// The chain from `offset`, given the chains from every later offset.
ChainLink chainFrom(const Stream& s, size_t offset, const std::vector<ChainLink>& links) {
  const size_t left = s.bytes.size() - offset;
  // A record not yet whole ends the chain open: at the end of the data,
  // the incomplete last event of a cut trace.
  if (left < s.head.size) return {0, 0, static_cast<uint32_t>(s.head.size)};
  const uint8_t* head = s.bytes.data() + offset;
  if (std::all_of(head, head + s.head.size, [](uint8_t b) { return b == 0; })) return {kBreaks};
  const size_t size = recordSize(head, s.head);
  const auto size32 = static_cast<uint32_t>(size);
  if (size > s.rules.maxRecord) return {kBreaks};
  if (size > left) return {0, 0, size32};
  if (size == left) return {1, size32, 0};
  const size_t next = offset + size;
  const ChainLink after = links[next];
  if (after.records == kBreaks) return {kBreaks};
  if (s.wholeHeadAt(next) && !stampFollows(s.stampAt(offset), s.stampAt(next), s.rules)) {
    return {kBreaks};
  }
  return {after.records + 1, std::max(size32, after.largest), after.open};
}

// The rules that only the first record after the gap answers to.
bool mayBeFirst(const Stream& s, size_t offset) {
  if (!s.wholeHeadAt(offset)) return true;
  const EventRecord record = decodeEventHead(s.bytes.data() + offset, s.head);
  if (s.rules.knownCommand && !isKnownCommand(record.Cmd)) return false;
  return !s.rules.anchorStamp ||
         int64_t{record.TimeStamp} >= int64_t{*s.rules.anchorStamp} - s.rules.maxBackStep;
}

// A record stamped within a step of the anchor: what a lone record needs
// to be believed.
bool nearAnchor(const Stream& s, size_t offset) {
  return s.rules.anchorStamp && stampFollows(*s.rules.anchorStamp, s.stampAt(offset), s.rules);
}

// The first offset on both chains, or none.
std::optional<size_t> joinOf(const Stream& s, size_t a, size_t b) {
  while (a != b) {
    size_t& behind = a < b ? a : b;
    if (!s.wholeHeadAt(behind)) return std::nullopt;
    behind = s.next(behind);
    if (behind >= s.bytes.size()) return std::nullopt;
  }
  return a;
}

// Whole records on the chain from `root` before `end` (or before its end).
size_t recordsBefore(const Stream& s, size_t root, std::optional<size_t> end) {
  size_t records = 0;
  for (size_t at = root; at != end && s.wholeRecordAt(at); at = s.next(at)) ++records;
  return records;
}

// The size of the record on the chain from `start` that holds `inside`.
size_t recordHolding(const Stream& s, size_t start, size_t inside) {
  while (s.next(start) <= inside) start = s.next(start);
  return s.next(start) - start;
}

// Where the chain from `offset` has shown its confirming records.
size_t confirmingEnd(const Stream& s, size_t offset) {
  for (int32_t records = 0; records < kConfirmingRecords && s.wholeRecordAt(offset); ++records) {
    offset = s.next(offset);
  }
  return offset;
}

// `size` bytes of data that are two or more whole records, end to end:
// one alone is too easily zero padding behind a few bytes.
bool holdsWholeRecords(const uint8_t* data, size_t size, const layout::EventHeadLayout& head) {
  if (size < 2 * head.size) return false;  // most data: every intact record passes here
  const auto zeros = [](uint8_t b) { return b == 0; };
  size_t at = 0;
  size_t records = 0;
  for (; at < size && size - at >= head.size; ++records) {
    if (std::all_of(data + at, data + at + head.size, zeros)) return false;
    at += recordSize(data + at, head);
  }
  return at == size && records >= 2;
}

}  // namespace

void RecordHealth::observe(const RecordRun& run, const layout::EventHeadLayout& head) {
  // Every intact record passes here, so only the fields judged are read.
  forEachRecord(run, head, [&](const RunRecord& record) {
    const uint32_t stamp = loadU32(record.bytes + head.timeStamp);
    if (isKnownCommand(record.bytes[head.cmd])) ++knownCommands_;
    if (last_ && stamp < *last_) {
      largestBackStep_ = std::max(largestBackStep_, *last_ - stamp);
    } else if (last_) {
      largestStep_ = std::max(largestStep_, stamp - *last_);
    }
    last_ = stamp;
    largestRecord_ = std::max(largestRecord_, record.size);
    if (holdsWholeRecords(record.bytes + head.size, record.size - head.size, head)) ++carriers_;
    ++records_;
  });
}

bool RecordHealth::commandsKnown() const {
  return records_ >= kRecordsToJudgeBy && nearlyAll(knownCommands_, records_);
}

ChainRules chooseChainRules(const RecordHealth& health, std::optional<uint32_t> fallbackAnchor,
                            size_t maxRecord) {
  ChainRules rules;
  rules.knownCommand = health.commandsKnown();
  rules.anchorStamp = health.lastStamp() ? health.lastStamp() : fallbackAnchor;
  rules.maxBackStep = health.largestBackStep();
  rules.maxForwardStep = kMinForwardStep;
  if (health.records() >= kRecordsToJudgeBy) {
    const uint64_t seen = kStepsSeenMultiple * health.largestStep();
    rules.maxForwardStep =
        static_cast<uint32_t>(std::clamp<uint64_t>(seen, kMinForwardStep, kMaxForwardStep));
  }
  rules.maxRecord = maxRecord;
  rules.largestKnownRecord = health.largestRecord();
  rules.dataCarriesRecords = health.dataCarriesRecords();
  return rules;
}

BoundarySearch BoundaryFinder::find(std::span<const uint8_t> bytes,
                                    const layout::EventHeadLayout& head, const ChainRules& rules,
                                    bool endOfData, bool mayWait) {
  const Stream s{bytes, head, rules};
  const size_t n = bytes.size();
  chain_.assign(n + 1, ChainLink{});
  for (size_t offset = n; offset-- > 0;) chain_[offset] = chainFrom(s, offset, chain_);

  // A boundary lies within one record of where the search begins: the
  // bytes before it are the tail of a record cut by the gap.
  const size_t known = std::max(rules.largestKnownRecord, head.size);
  const bool shortChainsEnough = endOfData && !(rules.traceEnds && rules.dataCarriesRecords);
  for (size_t base = 0; base < n;) {
    const size_t window = std::min(n, base + rules.maxRecord);
    std::vector<size_t> roots;
    reached_.assign(n, 0);
    for (size_t offset = base; offset < window; ++offset) {
      const ChainLink& link = chain_[offset];
      if (link.records == kBreaks || !mayBeFirst(s, offset)) continue;
      // A long chain is evidence enough whatever record it ends in.
      if (link.records < kConfirmingRecords &&
          link.open > kOpenRecordMultiple * std::max<size_t>(link.largest, known)) {
        continue;
      }
      // At the end of the bytes at hand, chains are as long as the bytes
      // allow: two whole records are enough there. One that ends exactly
      // with the data only when stamped within a step of the anchor: among
      // thousands of offsets, some length field lands on the end by chance.
      const bool confirmed =
          link.records >= kConfirmingRecords ||
          (shortChainsEnough &&
           (link.records >= 2 || (link.records == 1 && link.open == 0 && nearAnchor(s, offset))));
      if (!confirmed) {
        // A chain too short to judge is waited for while there is room,
        // unless it waits on a record larger than any intact one needed:
        // chance bytes make such lengths.
        if (mayWait && link.open <= known) {
          return {BoundarySearch::NeedMoreData, 0};
        }
        continue;
      }
      if (reached_[offset] != 0) continue;  // on the chain of an earlier offset
      roots.push_back(offset);
      for (size_t at = offset; at < n && reached_[at] == 0 && s.wholeHeadAt(at); at = s.next(at)) {
        reached_[at] = 1;
      }
    }
    if (roots.empty()) {
      base = window;
      continue;
    }
    // Bytes that intact blocks hold do not lead a chain astray: a chain
    // that begins at a record boundary stays on them. So the first root is
    // believed unless another parse explains the bytes of its confirming
    // records otherwise: a root that begins inside one of them.
    //
    // Two parses that join explain the same bytes, one as more records than
    // the other: the coarser holds one record where the finer holds several.
    // A chance length field makes such a record, and so does an event whose
    // data carries whole records. Only a coarser parse that begins after the
    // finer one, inside one of its records, is known false (no record begins
    // inside another); otherwise neither is believed before the join, and
    // the search goes on from there. Parses that never join are weighed the
    // same way to the end of the data.
    size_t start = roots.front();
    std::optional<size_t> rival;  // a parse that neither joins nor yields
    for (bool moved = true; moved && !rival;) {
      moved = false;
      const size_t confirming = confirmingEnd(s, start);
      size_t next = start;  // where the weighing moves on to
      for (const size_t root : roots) {
        if (root <= start || root >= confirming) continue;
        const std::optional<size_t> meet = joinOf(s, start, root);
        if (!meet && !endOfData) {
          rival = root;
          break;
        }
        if (recordsBefore(s, start, meet) > recordsBefore(s, root, meet)) continue;
        // The finer parse within a record far larger than any intact one:
        // chance bytes make such lengths, so the parse from `start` is
        // dropped and the next root weighed in its place. Not in a trace
        // whose records carry records, which may be as large.
        if (rules.largestKnownRecord > 0 && !rules.dataCarriesRecords &&
            recordHolding(s, start, root) > kChanceRecordMultiple * rules.largestKnownRecord) {
          next = *std::upper_bound(roots.begin(), roots.end(), start);
          break;
        }
        if (!meet) {
          rival = root;
          break;
        }
        next = std::max(next, *meet);
      }
      if (!rival && next != start) {
        start = next;
        moved = true;
      }
    }
    if (!rival) {
      // A join is a boundary on both parses; what follows it confirms it.
      const ChainLink& link = chain_[start];
      const bool confirmed = std::find(roots.begin(), roots.end(), start) != roots.end() ||
                             link.records >= kConfirmingRecords ||
                             (shortChainsEnough && link.records >= 2);
      if (confirmed) return {BoundarySearch::Found, start};
      // Only the bytes before the join are known to hold no boundary.
      if (mayWait) return {BoundarySearch::NeedMoreData, 0};
      return {BoundarySearch::NotFound, start};
    }
    if (endOfData) break;  // parses to the end that cannot be told apart
    if (mayWait) return {BoundarySearch::NeedMoreData, 0};  // they may join further on
    base = *rival;  // the first chain cannot be told from this one
  }
  return {BoundarySearch::NotFound, n};
}

}  // namespace qnvtab
