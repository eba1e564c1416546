// What one trace's run says, kept until its turn comes: a database
// commits before the console calls the trace done, a commit that fails
// says only that, and traces converted side by side speak in the order
// they were given. The lines for standard error that concern the trace
// are also its diagnosis in a database.
#ifndef QNVTAB_CLI_TRACE_REPORT_H_
#define QNVTAB_CLI_TRACE_REPORT_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qnvtab {

// How a trace's run ended, for the count of a run of several.
enum class TraceEnd {
  Sound,         // converted, no damage met
  Salvaged,      // --salvage found damage and went past it
  Failed,        // not read, not a trace, or its conversion failed
  Duplicate,     // already in the database: nothing added
  Interrupted,   // a signal stopped it; a database holds none of its rows
  OutputFailed,  // the output could not be opened or written: the run ends
};

struct TraceResult {
  int status = 1;  // the exit status of a run of this trace alone
  TraceEnd end = TraceEnd::Failed;
  uint64_t events = 0;  // read from the trace
};

// What the console has shown so far of a run: a run of several traces
// shows the banner once and makes one JSON array of their summaries.
struct ConsoleState {
  bool severalTraces = false;
  bool bannerShown = false;
  size_t documents = 0;  // summaries shown
};

class TraceReport {
 public:
  // The summaries go to `summaries`, the other console text to `console`.
  TraceReport(std::FILE* console, std::FILE* summaries)
      : console_(console), summaries_(summaries) {}
  // Everything for the console goes to `console`.
  void setConsole(std::FILE* console) { console_ = summaries_ = console; }

  void say(std::string text) { said_.push_back({Kind::Text, console_, std::move(text)}); }
  void sayBanner() { said_.push_back({Kind::Banner, console_, ""}); }
  void saySummary(std::string text) { said_.push_back({Kind::Text, summaries_, std::move(text)}); }
  // A summary that a run of several shows among the others': a JSON one
  // as an element of one array, a text one after a blank line.
  void sayDocument(std::string text, bool json) {
    said_.push_back({json ? Kind::JsonDocument : Kind::TextDocument, summaries_, std::move(text)});
  }
  // A line for standard error, after "qnvtab: ", that is part of the
  // trace's diagnosis; a hint or a note is not.
  void diagnose(const std::string& line);
  // The same, written at once: a trace alone says its damage as it goes.
  void diagnoseNow(const std::string& line);
  void hint(const std::string& line) { said_.push_back({Kind::Line, stderr, line}); }
  // Says `message` on the console: the trace has failed.
  TraceResult fail(const char* message, TraceEnd end = TraceEnd::Failed);
  // "PATH: cannot open: REASON" on standard error, then fail().
  TraceResult refuse(const std::string& path, const std::string& reason, const char* message,
                     TraceEnd end);
  // Forgets what was said, the diagnosis aside.
  void discard() { said_.clear(); }

  const std::string& diagnosis() const { return diagnosis_; }
  // Writes what was said, in order, and forgets it.
  void show(ConsoleState& state);

 private:
  enum class Kind { Text, Line, Banner, JsonDocument, TextDocument };
  struct Said {
    Kind kind;
    std::FILE* to;
    std::string text;
  };

  std::FILE* console_;
  std::FILE* summaries_;
  std::vector<Said> said_;
  std::string diagnosis_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_TRACE_REPORT_H_
