// A self-rewriting progress line for long conversions on a terminal: share
// of the trace done, events per second and time left. Shown only after the
// conversion has run for a second, refreshed a few times a second, and
// erased before anything else is printed.
#ifndef QNVTAB_CLI_PROGRESS_H_
#define QNVTAB_CLI_PROGRESS_H_

#include <cstdio>
#include <string>

#include "convert/convert_trace.h"

namespace qnvtab {

class ProgressLine : public ConversionObserver {
 public:
  // Seconds from an arbitrary start; replaceable for tests.
  using Clock = double (*)();
  static double steadySeconds();

  explicit ProgressLine(std::FILE* terminal, Clock clock = &steadySeconds);
  ~ProgressLine() override { clear(); }

  void blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) override;
  // For a run of several traces: `done` of `traces` converted, with
  // `events` in all.
  void tracesDone(size_t done, size_t traces, uint64_t events);
  // Erases the line if it is shown.
  void clear();

 private:
  static constexpr double kQuietSeconds = 1.0;
  static constexpr double kRefreshSeconds = 0.25;

  // Shows text(elapsed) when it is time to.
  template <typename Text>
  void show(Text text);
  void write(std::string text);

  std::FILE* terminal_;
  Clock clock_;
  double start_;
  double lastShown_ = -1;
  size_t shownWidth_ = 0;
};

// The text of the line, e.g. "qnvtab: 42% done, 1.25 M events/s, 3 s left".
std::string progressText(uint64_t blockBytes, uint32_t dataLength, int32_t events, double elapsed);
// E.g. "qnvtab: 12 of 340 traces done, 1.25 M events/s, 54 s left".
std::string tracesProgressText(size_t done, size_t traces, uint64_t events, double elapsed);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_PROGRESS_H_
