#include "summary/trace_summary.h"

#include <algorithm>

#include "events/time_text.h"
#include "table/cell_format.h"

namespace qnvtab {

void DamageMap::report(const Incident& incident) {
  switch (incident.kind) {
    case IncidentKind::UnverifiedHeader:
      return add({0, incident.cause.found, RegionKind::Repaired});
    case IncidentKind::FooterIgnored:
      return add({fileSize_ - std::min<uint64_t>(fileSize_, layout::kFooterSize), fileSize_,
                  RegionKind::Lost});
    case IncidentKind::NumberRepaired:
      return add({incident.cause.offset, incident.cause.offset + layout::kBlockHeaderSize,
                  RegionKind::Repaired});
    case IncidentKind::BytesSkipped:
    case IncidentKind::BlocksLost:
    case IncidentKind::TornTail:
      if (incident.to > incident.from) add({incident.from, incident.to, RegionKind::Lost});
      return;
  }
}

void DamageMap::add(FileRegion region) {
  const auto at = std::upper_bound(
      regions_.begin(), regions_.end(), region,
      [](const FileRegion& a, const FileRegion& b) { return a.from < b.from; });
  regions_.insert(at, region);
  if (regions_.size() <= kMaxRegions) return;
  // Join the two neighbours closest together; a lost stretch stays lost.
  size_t closest = 0;
  for (size_t i = 1; i + 1 < regions_.size(); ++i) {
    if (regions_[i + 1].from - regions_[i].to < regions_[closest + 1].from - regions_[closest].to) {
      closest = i;
    }
  }
  FileRegion& joined = regions_[closest];
  const FileRegion& next = regions_[closest + 1];
  joined.to = std::max(joined.to, next.to);
  if (next.kind == RegionKind::Lost) joined.kind = RegionKind::Lost;
  regions_.erase(regions_.begin() + static_cast<std::ptrdiff_t>(closest) + 1);
}

KeyRanking rankKey(const EventStats& stats, EventKey key, size_t top) {
  KeyRanking ranking;
  const auto busier = [](const KeyFigures& a, const KeyFigures& b) {
    return a.count.events > b.count.events ||
           (a.count.events == b.count.events && a.value < b.value);
  };
  for (uint32_t value = 0; value <= UINT16_MAX; ++value) {
    const EventCount count = stats.keyCount(key, static_cast<uint16_t>(value));
    if (count.events == 0) continue;
    ++ranking.distinct;
    const KeyFigures figures{static_cast<uint16_t>(value), count};
    if (ranking.busiest.size() == top && !busier(figures, ranking.busiest.back())) continue;
    ranking.busiest.insert(
        std::upper_bound(ranking.busiest.begin(), ranking.busiest.end(), figures, busier),
        figures);
    if (ranking.busiest.size() > top) ranking.busiest.pop_back();
  }
  return ranking;
}

namespace {

// The codes with a count above 0, by count descending, then by code.
template <typename Count>
std::vector<uint8_t> busiestCodes(Count count) {
  std::vector<uint8_t> codes;
  for (unsigned code = 0; code < 256; ++code) {
    if (count(code) > 0) codes.push_back(static_cast<uint8_t>(code));
  }
  std::stable_sort(codes.begin(), codes.end(),
                   [&](uint8_t a, uint8_t b) { return count(a) > count(b); });
  return codes;
}

}  // namespace

std::vector<uint8_t> busiestCommands(const EventStats& stats) {
  return busiestCodes([&](unsigned code) { return stats.commands()[code].events; });
}

std::vector<uint8_t> busiestReturnCodes(const EventStats& stats) {
  return busiestCodes([&](unsigned code) { return stats.returnCodes()[code]; });
}

const char* keyName(EventKey key) {
  switch (key) {
    case EventKey::PoIn:
      return "PoIn";
    case EventKey::LsnIn:
      return "LsnIn";
    case EventKey::PoOut:
      return "PoOut";
    case EventKey::LsnOut:
      return "LsnOut";
  }
  return "";
}

std::string commandText(uint8_t code) {
  char cell[4];  // "SD", quotes included
  writeCommand(cell, code);
  return {cell + 1, 2};
}

namespace {

std::string momentText(TraceDate date, TraceTime time) {
  return isoDate(date) + "T" + isoTime(time);
}

}  // namespace

void readContainerFacts(ByteSource& source, TraceSummary& summary) {
  summary.fileSize = static_cast<uint64_t>(source.size());
  HeaderRead header;
  if (readTraceHeader(source, header) && readHeaderByText(source, header)) return;
  summary.header = header;
  TraceFooter footer;
  if (!readTraceFooter(source, header.fileSize, header.layoutSize, footer)) {
    summary.footer = footer;
  }
}

std::vector<HeaderMoment> headerMoments(const HeaderRead& read) {
  const TraceHeader& header = read.header;
  const bool offsets = read.version.hasGmtOffsets();
  std::vector<HeaderMoment> moments;
  moments.push_back({"start", momentText(header.startDate(), header.startTime()),
                     offsets ? isoOffset(header.startGmtOffset()) : ""});
  if (read.version.recordsFirstEvent()) {
    moments.push_back({"first_event", momentText(header.firstEventDate(), header.firstEventTime()),
                       offsets ? isoOffset(header.firstEventGmtOffset()) : ""});
  }
  moments.push_back({"end", momentText(header.endDate(), header.endTime()),
                     offsets ? isoOffset(header.endGmtOffset()) : ""});
  return moments;
}

namespace {

// "812,345,678".
std::string groupedDigits(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

std::string packingText(const InputPacking& packing) {
  std::string text = packing.format + ", ";
  if (packing.members > 0) {
    text += std::to_string(packing.members) + (packing.members == 1 ? " member, " : " members, ");
  }
  return text + groupedDigits(packing.compressedBytes) + " bytes \u2192 " +
         groupedDigits(packing.decodedBytes);
}

std::string isoText(EventTime time) {
  char text[kIsoTimeSize];
  writeIsoTime(text, time, 'T');
  return {text, kIsoTimeSize};
}

}  // namespace qnvtab
