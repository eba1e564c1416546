#include "summary/summary_json.h"

#include <nlohmann/json.hpp>

namespace qnvtab {
namespace {

using Json = nlohmann::ordered_json;

Json fileJson(const TraceSummary& summary) {
  Json file = {{"name", summary.fileName}, {"size", summary.fileSize}};
  if (const std::optional<InputPacking>& packing = summary.packing) {
    file["compression"] = {{"format", packing->format},
                           {"members", packing->members == 0 ? Json(nullptr) : Json(packing->members)},
                           {"compressed_bytes", packing->compressedBytes},
                           {"decoded_bytes", packing->decodedBytes}};
  }
  return file;
}

Json traceJson(const TraceSummary& summary) {
  if (!summary.header) return nullptr;
  Json trace = {{"version", summary.header->version.number}, {"text", summary.headerText}};
  for (const HeaderMoment& moment : headerMoments(*summary.header)) {
    trace[moment.name] = moment.time;
    const std::string offsetKey = std::string(moment.name) + "_gmt_offset";
    trace[offsetKey] = moment.gmtOffset.empty() ? Json(nullptr) : Json(moment.gmtOffset);
  }
  if (summary.header->version.recordsFirstEvent()) {
    trace["first_event_stamp"] = summary.header->header.firstEventStamp();
  }
  return trace;
}

Json blocksJson(const TraceSummary& summary) {
  const BlockTally& blocks = summary.blocks;
  Json json = {{"count", summary.figures.blocks},
               {"stored", blocks.stored},
               {"compressed", blocks.compressed},
               {"lost", summary.salvage ? Json(summary.figures.blocksLost) : Json(nullptr)},
               {"size", nullptr},
               {"footer_count", nullptr},
               {"data_length", nullptr},
               {"payload_bytes", blocks.payloadBytes},
               {"event_bytes", blocks.expandedBytes}};
  if (summary.footer) {
    json["size"] = summary.footer->blockSize();
    json["footer_count"] = summary.footer->blockCount();
    json["data_length"] = summary.footer->dataLength();
  }
  return json;
}

Json integrityJson(const TraceSummary& summary) {
  Json damage = Json::array();
  for (const FileRegion& region : summary.damage) {
    damage.push_back({{"from", region.from},
                      {"to", region.to},
                      {"kind", region.kind == RegionKind::Lost ? "lost" : "repaired"}});
  }
  return {{"sound", summary.faults.empty()}, {"faults", summary.faults}, {"damage", damage}};
}

Json eventsJson(const EventTally& tally, const EventStats& events) {
  Json json = {{"count", tally.events}, {"errors", tally.errors}};
  if (tally.events == 0) return json;
  const EventTime first = *tally.first;
  const EventTime last = *tally.last;
  json["first_number"] = events.firstNumber();
  json["last_number"] = events.lastNumber();
  json["first_time"] = isoText(first);
  json["last_time"] = isoText(last);
  json["span_ms"] = tally.spanMs();
  const std::optional<double> rate = tally.meanRate();
  json["mean_rate_per_s"] = rate ? Json(*rate) : Json(nullptr);
  json["busiest_second"] = {{"time", isoText({events.busiestSecond(), 0}).substr(0, 19)},
                            {"events", events.busiestSecondEvents()}};
  json["back_steps"] = events.backSteps();
  json["longest_data"] = events.longestData();
  return json;
}

Json commandsJson(const EventStats& events) {
  Json commands = Json::array();
  for (unsigned code = 0; code < 256; ++code) {
    const CommandCount& command = events.commands()[code];
    if (command.events == 0) continue;
    commands.push_back({{"cmd", commandText(static_cast<uint8_t>(code))},
                        {"code", code},
                        {"count", command.events},
                        {"errors", command.errors},
                        {"data_bytes", command.dataBytes}});
  }
  return commands;
}

Json returnCodesJson(const EventStats& events) {
  Json codes = Json::array();
  for (unsigned rc = 0; rc < 256; ++rc) {
    if (events.returnCodes()[rc] > 0) codes.push_back({{"rc", rc}, {"count", events.returnCodes()[rc]}});
  }
  return codes;
}

Json keyJson(const EventStats& events, EventKey key) {
  const KeyRanking ranking = rankKey(events, key);
  Json busiest = Json::array();
  for (const KeyFigures& figures : ranking.busiest) {
    busiest.push_back({{"value", figures.value},
                       {"count", figures.count.events},
                       {"errors", figures.count.errors}});
  }
  return {{"distinct", ranking.distinct}, {"busiest", busiest}};
}

Json histogramJson(const EventStats& events) {
  const HistogramBins shown = events.histogram().shown(kShownBins);
  if (shown.bins.empty()) return nullptr;
  Json counts = Json::array();
  Json errors = Json::array();
  for (const EventCount& bin : shown.bins) {
    counts.push_back(bin.events);
    errors.push_back(bin.errors);
  }
  const EventTime start{static_cast<uint32_t>(shown.startMs / 1000),
                        static_cast<uint32_t>(shown.startMs % 1000)};
  return {{"start", isoText(start)}, {"bin_ms", shown.widthMs}, {"events", counts}, {"errors", errors}};
}

}  // namespace

std::string summaryJson(const TraceSummary& summary) {
  Json json = {{"file", fileJson(summary)},
               {"trace", traceJson(summary)},
               {"blocks", blocksJson(summary)},
               {"integrity", integrityJson(summary)},
               {"selection", summary.selection.empty() ? Json(nullptr) : Json(summary.selection)}};
  if (summary.events != nullptr) {
    const EventStats& events = *summary.events;
    json["events"] = eventsJson(summary.figures.events, events);
    json["commands"] = commandsJson(events);
    json["return_codes"] = returnCodesJson(events);
    json["ports"] = {{"PoIn", keyJson(events, EventKey::PoIn)},
                     {"PoOut", keyJson(events, EventKey::PoOut)}};
    json["sessions"] = {{"LsnIn", keyJson(events, EventKey::LsnIn)},
                        {"LsnOut", keyJson(events, EventKey::LsnOut)}};
    json["histogram"] = histogramJson(events);
  }
  // Names and fault texts are printable already; replace guards the rest.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qnvtab
