#include "cli/trace_report.h"

#include "cli/console.h"
#include "cli/printable_name.h"

namespace qnvtab {
namespace {

void print(std::FILE* console, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), console);
}

}  // namespace

void TraceReport::diagnose(const std::string& line) {
  hint(line);
  if (!diagnosis_.empty()) diagnosis_ += '\n';
  diagnosis_ += line;
}

void TraceReport::diagnoseNow(const std::string& line) {
  print(stderr, "qnvtab: " + line + "\n");
  if (!diagnosis_.empty()) diagnosis_ += '\n';
  diagnosis_ += line;
}

TraceResult TraceReport::fail(const char* message, TraceEnd end) {
  say(message);
  return {1, end};
}

TraceResult TraceReport::refuse(const std::string& path, const std::string& reason,
                                const char* message, TraceEnd end) {
  diagnose(printableName(path) + ": cannot open: " + reason);
  return fail(message, end);
}

void TraceReport::show(ConsoleState& state) {
  for (const Said& said : said_) {
    switch (said.kind) {
      case Kind::Text:
        print(said.to, said.text);
        break;
      case Kind::Line:
        print(said.to, "qnvtab: " + said.text + "\n");
        break;
      case Kind::Banner:
        if (!state.bannerShown) print(said.to, bannerText());
        state.bannerShown = state.severalTraces;
        break;
      case Kind::JsonDocument:
        if (state.severalTraces) print(said.to, state.documents == 0 ? "[\n" : ",\n");
        print(said.to, said.text);
        ++state.documents;
        break;
      case Kind::TextDocument:
        if (state.documents > 0) print(said.to, "\n");
        print(said.to, said.text);
        ++state.documents;
        break;
    }
  }
  said_.clear();
}

}  // namespace qnvtab
