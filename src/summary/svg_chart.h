// The report's charts as inline SVG: columns over time, labelled bars and
// the map of a file. Each carries a visible title, a <title> for screen
// readers, labelled axes and a legend; labels are escaped here.
#ifndef QNVTAB_SUMMARY_SVG_CHART_H_
#define QNVTAB_SUMMARY_SVG_CHART_H_

#include <cstdint>
#include <string>
#include <vector>

#include "summary/trace_summary.h"

namespace qnvtab {

struct ChartTitles {
  std::string title;
  std::string xAxis;  // with its unit
  std::string yAxis;
};

// One column or bar: its events, and the errors among them drawn over it.
struct CountBar {
  std::string label;
  uint64_t events = 0;
  uint64_t errors = 0;
};

// A label under column `column`.
struct ColumnTick {
  size_t column = 0;
  std::string text;
};

// Columns side by side (bins of time), the x axis labelled at `ticks`.
std::string columnChart(const ChartTitles& titles, const std::vector<CountBar>& columns,
                        const std::vector<ColumnTick>& ticks);

// One horizontal bar a row, labelled on the left, its count on the right;
// `width` in CSS pixels at full size.
std::string barChart(const ChartTitles& titles, const std::vector<CountBar>& bars, int width);

// The file from offset 0 to `fileSize`, intact where no region lies.
std::string fileMap(const std::string& title, uint64_t fileSize,
                    const std::vector<FileRegion>& regions);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_SVG_CHART_H_
