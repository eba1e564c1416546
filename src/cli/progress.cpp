#include "cli/progress.h"

#include <chrono>

namespace qnvtab {

double ProgressLine::steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProgressLine::ProgressLine(std::FILE* terminal, Clock clock)
    : terminal_(terminal), clock_(clock), start_(clock()) {}

std::string progressText(uint64_t blockBytes, uint32_t dataLength, int32_t events, double elapsed) {
  // An overshooting dataLength ends the loop by blockCount only; the share
  // then stays at 100%.
  const double share =
      dataLength == 0 || blockBytes >= dataLength ? 1.0 : static_cast<double>(blockBytes) / dataLength;
  const double rate = elapsed > 0 ? events / elapsed : 0;
  const double left = share > 0 ? elapsed * (1 - share) / share : 0;
  char text[96];
  std::snprintf(text, sizeof text, "qnvtab: %d%% done, %.2f M events/s, %.0f s left",
                static_cast<int>(share * 100), rate / 1e6, left);
  return text;
}

std::string tracesProgressText(size_t done, size_t traces, uint64_t events, double elapsed) {
  const double rate = elapsed > 0 ? static_cast<double>(events) / elapsed : 0;
  const double left =
      done > 0 ? elapsed * static_cast<double>(traces - done) / static_cast<double>(done) : 0;
  char text[128];
  std::snprintf(text, sizeof text, "qnvtab: %zu of %zu traces done, %.2f M events/s, %.0f s left",
                done, traces, rate / 1e6, left);
  return text;
}

template <typename Text>
void ProgressLine::show(Text text) {
  const double now = clock_();
  const double elapsed = now - start_;
  if (elapsed < kQuietSeconds || (lastShown_ >= 0 && now - lastShown_ < kRefreshSeconds)) return;
  lastShown_ = now;
  write(text(elapsed));
}

void ProgressLine::write(std::string text) {
  const size_t width = text.size();
  if (width < shownWidth_) text.append(shownWidth_ - width, ' ');
  std::fprintf(terminal_, "\r%s", text.c_str());
  std::fflush(terminal_);
  shownWidth_ = width > shownWidth_ ? width : shownWidth_;
}

void ProgressLine::blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) {
  show([&](double elapsed) { return progressText(blockBytes, dataLength, events, elapsed); });
}

void ProgressLine::tracesDone(size_t done, size_t traces, uint64_t events) {
  show([&](double elapsed) { return tracesProgressText(done, traces, events, elapsed); });
}

void ProgressLine::clear() {
  if (shownWidth_ == 0) return;
  std::fprintf(terminal_, "\r%s\r", std::string(shownWidth_, ' ').c_str());
  std::fflush(terminal_);
  shownWidth_ = 0;
}

}  // namespace qnvtab
