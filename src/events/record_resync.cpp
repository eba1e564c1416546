#include "events/record_resync.h"

#include <algorithm>

#include "events/command_names.h"
#include "events/event_record.h"

namespace qnvtab {
namespace {

// Below this many intact records, their habits are not known yet.
constexpr uint64_t kRecordsToJudgeBy = 16;
// The step between events assumed while their habits are not known.
constexpr uint64_t kUnknownStep = 60'000;  // ms
// Records up to this size are never taken for chance bytes by their size.
constexpr size_t kSmallRecord = 256;

bool isKnownCommand(uint8_t code) { return commandMnemonic(code) != nullptr; }

// Nearly always: at most one case in a hundred goes the other way.
bool nearlyAll(uint64_t count, uint64_t of) { return of > 0 && 100 * count >= 99 * of; }

enum class Verdict { Pass, Fail, NeedMore };

struct Candidate {
  std::span<const uint8_t> bytes;
  const layout::EventHeadLayout& head;
  const BoundaryRule& rule;
  bool endOfData;
};

// The record at `offset` judged against the stamp before it, if any;
// `size` receives its size.
Verdict judgeRecord(const Candidate& c, size_t offset, std::optional<uint32_t> before,
                    uint32_t maxDistance, uint32_t& stamp, size_t& size) {
  const size_t left = c.bytes.size() - offset;
  if (left < c.head.size) return c.endOfData ? Verdict::Fail : Verdict::NeedMore;
  const uint8_t* head = c.bytes.data() + offset;
  if (std::all_of(head, head + c.head.size, [](uint8_t b) { return b == 0; })) return Verdict::Fail;
  const EventRecord record = decodeEventHead(head, c.head);
  if (c.rule.knownCommand && !isKnownCommand(record.Cmd)) return Verdict::Fail;
  if (c.rule.risingStamps && before &&
      (record.TimeStamp < *before || record.TimeStamp - *before > maxDistance)) {
    return Verdict::Fail;
  }
  stamp = record.TimeStamp;
  size = recordSize(head, c.head);
  return size <= c.rule.maxRecord ? Verdict::Pass : Verdict::Fail;
}

// The chain of records from `offset`: two whole records that pass, three
// without an anchor; a chain that ends exactly with the data passes too.
Verdict judgeChain(const Candidate& c, size_t offset, size_t maxHeld) {
  const size_t needed = c.rule.anchorStamp ? 2 : 3;
  std::optional<uint32_t> before = c.rule.anchorStamp;
  uint32_t maxDistance = c.rule.maxGap;
  size_t at = offset;
  for (size_t passed = 0; passed < needed; ++passed) {
    uint32_t stamp = 0;
    size_t size = 0;
    const Verdict verdict = judgeRecord(c, at, before, maxDistance, stamp, size);
    if (verdict != Verdict::Pass) return verdict;
    if (size > c.bytes.size() - at) {
      const bool mayWait = !c.endOfData && c.bytes.size() - offset <= maxHeld;
      return mayWait ? Verdict::NeedMore : Verdict::Fail;
    }
    at += size;
    if (at == c.bytes.size() && c.endOfData) return Verdict::Pass;
    before = stamp;
    maxDistance = c.rule.maxStep;
  }
  return Verdict::Pass;
}

}  // namespace

void RecordHealth::observe(const RecordRun& run, const layout::EventHeadLayout& head) {
  for (size_t pos = 0; pos < run.size; pos += recordSize(run.bytes + pos, head)) {
    const EventRecord record = decodeEventHead(run.bytes + pos, head);
    if (isKnownCommand(record.Cmd)) ++knownCommands_;
    if (last_ && record.TimeStamp >= *last_) {
      ++risingPairs_;
      largestStep_ = std::max(largestStep_, record.TimeStamp - *last_);
    }
    last_ = record.TimeStamp;
    largestRecord_ = std::max(largestRecord_, head.size + record.ContentLength);
    ++records_;
  }
}

bool RecordHealth::commandsKnown() const {
  return records_ >= kRecordsToJudgeBy && nearlyAll(knownCommands_, records_);
}

bool RecordHealth::stampsRise() const {
  return records_ < kRecordsToJudgeBy || nearlyAll(risingPairs_, records_ - 1);
}

std::optional<BoundaryRule> chooseBoundaryRule(const RecordHealth& health,
                                               std::optional<uint32_t> fallbackAnchor,
                                               uint64_t lostBytes, size_t headSize) {
  BoundaryRule rule;
  rule.knownCommand = health.commandsKnown();
  rule.risingStamps = health.stampsRise();
  if (!rule.knownCommand && !rule.risingStamps) return std::nullopt;
  rule.anchorStamp = health.lastStamp() ? health.lastStamp() : fallbackAnchor;
  const uint64_t step =
      health.records() >= kRecordsToJudgeBy ? 2 * uint64_t{health.largestStep()} + 1 : kUnknownStep;
  const uint64_t gap = (lostBytes / headSize + 1) * step;
  rule.maxStep = static_cast<uint32_t>(std::min<uint64_t>(UINT32_MAX, step));
  if (health.records() > 0) rule.maxRecord = std::max<size_t>(4 * health.largestRecord(), kSmallRecord);
  rule.maxGap = static_cast<uint32_t>(std::min<uint64_t>(UINT32_MAX, gap));
  return rule;
}

BoundarySearch findRecordBoundary(std::span<const uint8_t> bytes,
                                  const layout::EventHeadLayout& head, const BoundaryRule& rule,
                                  bool endOfData, size_t maxHeld) {
  const Candidate candidate{bytes, head, rule, endOfData};
  for (size_t offset = 0; offset < bytes.size(); ++offset) {
    switch (judgeChain(candidate, offset, maxHeld)) {
      case Verdict::Pass:
        return {BoundarySearch::Found, offset};
      case Verdict::NeedMore:
        return {BoundarySearch::NeedMoreData, offset};
      case Verdict::Fail:
        break;
    }
  }
  return {BoundarySearch::NotFound, bytes.size()};
}

}  // namespace qnvtab
