#include "cli/interruption.h"

#include <atomic>
#include <iterator>

namespace qnvtab {
namespace {

// What a signal handler may touch: the one process-wide value of the
// program, written only by the handler and cleared when a watch begins.
// Atomic, as traces converted side by side read it on the workers too.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

extern "C" void noteSignal(int signal) { receivedSignal = signal; }

}  // namespace

void ignoreWriteSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

InterruptionWatch::InterruptionWatch() {
  receivedSignal = 0;
  struct sigaction action {};
  action.sa_handler = &noteSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted writes carry on, so that the row being written ends whole;
  // the handler is used once, and a second signal has its usual effect.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &previous_[i]);
    // A signal ignored when the program started (nohup, a background job)
    // stays ignored.
    if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
  }
}

InterruptionWatch::~InterruptionWatch() {
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

int InterruptionWatch::received() const { return receivedSignal; }

void InterruptibleObserver::blockConverted(uint64_t blockBytes, uint32_t dataLength,
                                           int32_t events) {
  if (next_ != nullptr) next_->blockConverted(blockBytes, dataLength, events);
}

std::string signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

}  // namespace qnvtab
