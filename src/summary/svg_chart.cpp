#include "summary/svg_chart.h"

#include <algorithm>
#include <cinttypes>

#include "summary/markup.h"

namespace qnvtab {
namespace {

// Colours that colour-blind readers tell apart (Okabe and Ito).
constexpr char kEventColour[] = "#0072B2";
constexpr char kErrorColour[] = "#E69F00";
constexpr char kIntactColour[] = "#C8C8C8";
constexpr char kRepairedColour[] = "#E69F00";
constexpr char kLostColour[] = "#B2182B";

void openSvg(std::string& out, int width, int height, const std::string& title) {
  appendFormatted(out, "<svg role=\"img\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">", width,
                  height, width, height);
  out += "<title>" + markupEscaped(title) + "</title>";
  out += "<text x=\"8\" y=\"20\" font-weight=\"bold\" font-size=\"15\">" + markupEscaped(title) +
         "</text>";
}

// A square of `colour` and its text, from x.
void addLegendEntry(std::string& out, int x, int y, const char* colour, const std::string& text) {
  appendFormatted(out, "<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"12\" fill=\"%s\"/>", x,
                  y - 10, colour);
  appendFormatted(out, "<text x=\"%d\" y=\"%d\">", x + 16, y);
  out += markupEscaped(text) + "</text>";
}

void addCountLegend(std::string& out, int right, int y) {
  addLegendEntry(out, right - 200, y, kEventColour, "events");
  addLegendEntry(out, right - 130, y, kErrorColour, "errors (RC 0xFF)");
}

// A round step (1, 2 or 5 times a power of ten) that covers `largest` in at
// most five steps, and the axis end it gives.
struct CountAxis {
  uint64_t step = 1;
  uint64_t end = 1;
};
CountAxis countAxis(uint64_t largest) {
  for (uint64_t power = 1; power <= UINT64_MAX / 10; power *= 10) {
    for (const uint64_t factor : {1, 2, 5}) {
      const uint64_t step = power * factor;
      if (largest <= step * 5)
        return {step, std::max<uint64_t>(1, (largest + step - 1) / step) * step};
    }
  }
  return {largest, largest};
}

double scaled(uint64_t count, uint64_t end, double length) {
  return static_cast<double>(count) / static_cast<double>(end) * length;
}

std::string countText(const CountBar& bar) {
  std::string text = std::to_string(bar.events) + (bar.events == 1 ? " event" : " events");
  if (bar.errors > 0)
    text += ", " + std::to_string(bar.errors) + (bar.errors == 1 ? " error" : " errors");
  return text;
}

void addXAxisTitle(std::string& out, const ChartTitles& titles, int xMiddle, int baseline) {
  appendFormatted(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">", xMiddle, baseline);
  out += markupEscaped(titles.xAxis) + "</text>";
}

}  // namespace

std::string columnChart(const ChartTitles& titles, const std::vector<CountBar>& columns,
                        const std::vector<ColumnTick>& ticks) {
  constexpr int kWidth = 800, kHeight = 300, kLeft = 76, kRight = 752, kTop = 48, kBottom = 240;
  std::string out;
  openSvg(out, kWidth, kHeight, titles.title);
  addCountLegend(out, kRight, 38);
  uint64_t largest = 0;
  for (const CountBar& column : columns) largest = std::max(largest, column.events);
  const CountAxis axis = countAxis(largest);
  for (uint64_t value = 0; value <= axis.end; value += axis.step) {
    const double y = kBottom - scaled(value, axis.end, kBottom - kTop);
    appendFormatted(out, "<line x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>",
                    kLeft, kRight, y, y);
    appendFormatted(out, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%" PRIu64 "</text>",
                    kLeft - 6, y + 4, value);
  }
  const double slot = static_cast<double>(kRight - kLeft) / static_cast<double>(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const CountBar& column = columns[i];
    if (column.events == 0) continue;
    const double x = kLeft + slot * static_cast<double>(i) + slot * 0.08;
    const double height = scaled(column.events, axis.end, kBottom - kTop);
    out += "<g><title>" + markupEscaped(column.label + ": " + countText(column)) + "</title>";
    appendFormatted(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>",
                    x, kBottom - height, slot * 0.84, height, kEventColour);
    if (column.errors > 0) {
      const double errors = std::max(1.0, scaled(column.errors, axis.end, kBottom - kTop));
      appendFormatted(out,
                      "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>", x,
                      kBottom - errors, slot * 0.84, errors, kErrorColour);
    }
    out += "</g>";
  }
  for (const ColumnTick& tick : ticks) {
    const double x = kLeft + slot * static_cast<double>(tick.column);
    appendFormatted(out, "<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%d\" y2=\"%d\" stroke=\"#333\"/>", x,
                    x, kBottom, kBottom + 5);
    appendFormatted(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">", x, kBottom + 19);
    out += markupEscaped(tick.text) + "</text>";
  }
  appendFormatted(out, "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#333\"/>", kLeft,
                  kRight, kBottom, kBottom);
  addXAxisTitle(out, titles, (kLeft + kRight) / 2, kHeight - 12);
  appendFormatted(out, "<text transform=\"rotate(-90)\" x=\"%d\" y=\"16\" text-anchor=\"middle\">",
                  -(kTop + kBottom) / 2);
  out += markupEscaped(titles.yAxis) + "</text>";
  return out + "</svg>";
}

std::string barChart(const ChartTitles& titles, const std::vector<CountBar>& bars, int width) {
  constexpr int kLeft = 76, kTop = 48, kRow = 18, kCountRoom = 170;
  const int right = width - kCountRoom;
  const int bottom = kTop + kRow * static_cast<int>(bars.size());
  const int height = bottom + 52;
  std::string out;
  openSvg(out, width, height, titles.title);
  addCountLegend(out, width - 8, 38);
  uint64_t largest = 0;
  for (const CountBar& bar : bars) largest = std::max(largest, bar.events);
  const CountAxis axis = countAxis(largest);
  for (uint64_t value = 0; value <= axis.end; value += axis.step) {
    const double x = kLeft + scaled(value, axis.end, right - kLeft);
    appendFormatted(out, "<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%d\" y2=\"%d\" stroke=\"#ddd\"/>", x,
                    x, kTop, bottom + 4);
    appendFormatted(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%" PRIu64 "</text>", x,
                    bottom + 18, value);
  }
  for (size_t i = 0; i < bars.size(); ++i) {
    const CountBar& bar = bars[i];
    const int y = kTop + kRow * static_cast<int>(i);
    const double length = scaled(bar.events, axis.end, right - kLeft);
    out += "<g><title>" + markupEscaped(bar.label + ": " + countText(bar)) + "</title>";
    appendFormatted(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">", kLeft - 6, y + 13);
    out += markupEscaped(bar.label) + "</text>";
    appendFormatted(out, "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"14\" fill=\"%s\"/>",
                    kLeft, y + 2, std::max(1.0, length), kEventColour);
    if (bar.errors > 0) {
      appendFormatted(out, "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"14\" fill=\"%s\"/>",
                      kLeft, y + 2, std::max(1.0, scaled(bar.errors, axis.end, right - kLeft)),
                      kErrorColour);
    }
    appendFormatted(out, "<text x=\"%.1f\" y=\"%d\">", kLeft + length + 6, y + 13);
    out += markupEscaped(countText(bar)) + "</text></g>";
  }
  appendFormatted(out, "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#333\"/>", kLeft,
                  kLeft, kTop, bottom);
  addXAxisTitle(out, titles, (kLeft + right) / 2, height - 12);
  // Above the labels, level: a few rows leave no room to stand it upright.
  out += "<text x=\"8\" y=\"40\" font-weight=\"bold\">" + markupEscaped(titles.yAxis) + "</text>";
  return out + "</svg>";
}

std::string fileMap(const std::string& title, uint64_t fileSize,
                    const std::vector<FileRegion>& regions) {
  constexpr int kWidth = 800, kHeight = 150, kLeft = 24, kRight = 776, kTop = 52, kBottom = 92;
  std::string out;
  openSvg(out, kWidth, kHeight, title);
  addLegendEntry(out, kRight - 280, 38, kIntactColour, "intact");
  addLegendEntry(out, kRight - 200, 38, kRepairedColour, "repaired");
  addLegendEntry(out, kRight - 110, 38, kLostColour, "lost");
  appendFormatted(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>", kLeft,
                  kTop, kRight - kLeft, kBottom - kTop, kIntactColour);
  const uint64_t end = std::max<uint64_t>(fileSize, 1);
  for (const FileRegion& region : regions) {
    const uint64_t to = std::min(region.to, fileSize);
    if (to <= region.from) continue;
    const bool lost = region.kind == RegionKind::Lost;
    out += "<g><title>";
    appendFormatted(out, "%s: bytes %" PRIu64 " to %" PRIu64, lost ? "lost" : "repaired",
                    region.from, to);
    appendFormatted(out,
                    "</title><rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"/>"
                    "</g>",
                    kLeft + scaled(region.from, end, kRight - kLeft), kTop,
                    std::max(1.0, scaled(to - region.from, end, kRight - kLeft)), kBottom - kTop,
                    lost ? kLostColour : kRepairedColour);
  }
  // Offsets in the unit that keeps the labels short.
  const char* unit = "bytes";
  double divisor = 1;
  for (const char* larger : {"KiB", "MiB", "GiB"}) {
    if (static_cast<double>(fileSize) / divisor < 10 * 1024) break;
    divisor *= 1024;
    unit = larger;
  }
  for (int quarter = 0; quarter <= 4; ++quarter) {
    const int x = kLeft + (kRight - kLeft) * quarter / 4;
    const double offset = static_cast<double>(fileSize) * quarter / 4 / divisor;
    appendFormatted(out, "<line x1=\"%d\" x2=\"%d\" y1=\"%d\" y2=\"%d\" stroke=\"#333\"/>", x, x,
                    kBottom, kBottom + 5);
    appendFormatted(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"%s\">%.*f</text>", x, kBottom + 19,
                    quarter == 0   ? "start"
                    : quarter == 4 ? "end"
                                   : "middle",
                    divisor == 1 ? 0 : 1, offset);
  }
  appendFormatted(out,
                  "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">offset in the file (%s)</text>",
                  (kLeft + kRight) / 2, kHeight - 12, unit);
  return out + "</svg>";
}

}  // namespace qnvtab
