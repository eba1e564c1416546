// Interruption by SIGINT, SIGTERM or SIGHUP. The handler only notes the
// signal; the conversion asks between blocks and stops there, so that the
// table ends with a whole row. A second signal ends the process at once,
// for a run stuck on an output that no one reads.
#ifndef QNVTAB_CLI_INTERRUPTION_H_
#define QNVTAB_CLI_INTERRUPTION_H_

#include <signal.h>

#include <string>

#include "convert/convert_trace.h"

namespace qnvtab {

// Makes writes to a pipe whose reader has gone, or beyond the file-size
// limit, fail with EPIPE or EFBIG instead of killing the process.
void ignoreWriteSignals();

class InterruptionWatch {
 public:
  // Installs the handlers, except for signals that are ignored; the
  // previous ones come back at the end of the scope.
  InterruptionWatch();
  ~InterruptionWatch();
  InterruptionWatch(const InterruptionWatch&) = delete;
  InterruptionWatch& operator=(const InterruptionWatch&) = delete;

  // The signal received since the watch began, or 0.
  int received() const;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[3];
};

// Asks the watch before each block and passes progress on to `next`, if any.
class InterruptibleObserver : public ConversionObserver {
 public:
  InterruptibleObserver(const InterruptionWatch& watch, ConversionObserver* next)
      : watch_(watch), next_(next) {}
  void blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) override;
  bool stopRequested() override { return watch_.received() != 0; }

 private:
  const InterruptionWatch& watch_;
  ConversionObserver* next_;
};

// "SIGINT", "SIGTERM", "SIGHUP", else "signal N".
std::string signalName(int signal);

}  // namespace qnvtab

#endif  // QNVTAB_CLI_INTERRUPTION_H_
