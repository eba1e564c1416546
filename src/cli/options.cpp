#include "cli/options.h"

#include <charconv>
#include <string_view>

namespace qnvtab {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view lowerExpected) {
  if (text.size() != lowerExpected.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (lowerAscii(text[i]) != lowerExpected[i]) return false;
  }
  return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         equalsIgnoringCase(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

bool parseDataFormat(std::string_view value, DataFormat& format) {
  if (equalsIgnoringCase(value, "hex") || equalsIgnoringCase(value, "h")) {
    format = DataFormat::Hex;
  } else if (equalsIgnoringCase(value, "ascii") || equalsIgnoringCase(value, "a")) {
    format = DataFormat::Ascii;
  } else if (equalsIgnoringCase(value, "hexascii") || equalsIgnoringCase(value, "asciihex") ||
             equalsIgnoringCase(value, "ha") || equalsIgnoringCase(value, "ah")) {
    format = DataFormat::HexAscii;
  } else {
    return false;
  }
  return true;
}

// A decimal count from 1 to kMaxThreads.
bool parseThreadCount(std::string_view value, unsigned& threads) {
  if (value.empty() || value.size() > 4) return false;
  unsigned count = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return false;
    count = count * 10 + static_cast<unsigned>(c - '0');
  }
  if (count == 0 || count > kMaxThreads) return false;
  threads = count;
  return true;
}

bool parseOutputFormat(std::string_view value, OutputFormat& format) {
  if (equalsIgnoringCase(value, "tsv")) {
    format = OutputFormat::Tsv;
  } else if (equalsIgnoringCase(value, "xlsx")) {
    format = OutputFormat::Xlsx;
  } else if (equalsIgnoringCase(value, "sqlite")) {
    format = OutputFormat::Sqlite;
  } else if (equalsIgnoringCase(value, "jsonl")) {
    format = OutputFormat::Jsonl;
  } else {
    return false;
  }
  return true;
}

// Seconds from 0 to kMaxBusyTimeoutSeconds.
bool parseSeconds(std::string_view value, unsigned& seconds) {
  unsigned count = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
      count > kMaxBusyTimeoutSeconds) {
    return false;
  }
  seconds = count;
  return true;
}

// A positive row count.
bool parseRowCount(std::string_view value, uint64_t& rows) {
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rows);
  return !value.empty() && value.front() != '-' && error == std::errc() &&
         end == value.data() + value.size() && rows > 0;
}

bool parseSummaryFormat(std::string_view value, SummaryFormat& format) {
  if (equalsIgnoringCase(value, "text")) {
    format = SummaryFormat::Text;
  } else if (equalsIgnoringCase(value, "json")) {
    format = SummaryFormat::Json;
  } else if (equalsIgnoringCase(value, "tsv")) {
    format = SummaryFormat::Tsv;
  } else {
    return false;
  }
  return true;
}

// "N", "Ns", "Nm" or "Nh" (the unit in any case): from 1 second to a day.
bool parseSplitInterval(std::string_view value, uint32_t& seconds) {
  uint32_t unit = 1;
  if (!value.empty()) {
    const char last = lowerAscii(value.back());
    if (last == 's' || last == 'm' || last == 'h') {
      unit = last == 'h' ? 3600 : last == 'm' ? 60 : 1;
      value.remove_suffix(1);
    }
  }
  uint32_t count = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
  if (value.empty() || value.front() == '-' || error != std::errc() ||
      end != value.data() + value.size() || count == 0 || count > kMaxSplitIntervalSeconds / unit) {
    return false;
  }
  seconds = count * unit;
  return true;
}

// Sets `field` from `value` read by `parse`; false when it does not read.
template <typename Field, typename Parse>
bool assign(Field& field, std::string_view value, Parse parse) {
  field = parse(value);
  return field.has_value();
}

// The long options that take a value, "--name=value"; false when
// `argument` is none of them or its value does not read.
bool parseValueOption(std::string_view argument, Options& options) {
  const size_t equals = argument.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string_view name = argument.substr(0, equals + 1);
  const std::string_view value = argument.substr(equals + 1);
  EventSelection& chosen = options.selection;
  if (equalsIgnoringCase(name, "--info=")) return parseSummaryFormat(value, options.summary);
  if (equalsIgnoringCase(name, "--report=")) {
    options.reportPath = value;
    return !value.empty();
  }
  if (equalsIgnoringCase(name, "--split=")) return parseRowCount(value, options.split.rowsPerPart);
  if (equalsIgnoringCase(name, "--split-interval=")) {
    return parseSplitInterval(value, options.split.intervalSeconds);
  }
  if (equalsIgnoringCase(name, "--threads=")) return parseThreadCount(value, options.threads);
  if (equalsIgnoringCase(name, "--inputs=")) {
    options.inputsList = value;
    options.severalTraces = true;
    return !value.empty();
  }
  if (equalsIgnoringCase(name, "--busy-timeout=")) {
    return parseSeconds(value, options.busyTimeoutSeconds);
  }
  if (equalsIgnoringCase(name, "--format=")) return parseOutputFormat(value, options.format);
  options.selectionArguments.emplace_back(argument);
  if (equalsIgnoringCase(name, "--events=")) return assign(chosen.events, value, parseEventRange);
  if (equalsIgnoringCase(name, "--msec=")) return assign(chosen.msec, value, parseMsecRange);
  if (equalsIgnoringCase(name, "--begin=")) return assign(chosen.begin, value, parseWindowTime);
  if (equalsIgnoringCase(name, "--end=")) return assign(chosen.end, value, parseWindowTime);
  if (equalsIgnoringCase(name, "--cmd=")) return assign(chosen.commands, value, parseCommandList);
  return false;
}

CommandLine refuse(CommandLine& result, std::string argument, std::string reason) {
  result.outcome = CommandLineOutcome::InvalidOption;
  result.invalidArgument = std::move(argument);
  result.invalidReason = std::move(reason);
  return result;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine result;
  bool haveInput = false;
  std::string_view inputArgument;
  std::string_view outputArgument;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    bool valid = true;
    if (argument == "--") {
      // Every argument after it is a trace, whatever it looks like.
      for (++i; i < argc; ++i) result.options.tracePaths.emplace_back(argv[i]);
      result.options.severalTraces = true;
      break;
    } else if (argument == "-?") {
      result.outcome = CommandLineOutcome::ShowUsage;
      return result;
    } else if (equalsIgnoringCase(argument, "--help")) {
      result.outcome = CommandLineOutcome::ShowHelp;
      return result;
    } else if (equalsIgnoringCase(argument, "--version")) {
      result.outcome = CommandLineOutcome::ShowVersion;
      return result;
    } else if (equalsIgnoringCase(argument, "-th")) {
      result.options.rows.informativeHeader = true;
    } else if (equalsIgnoringCase(argument, "-ferts")) {
      result.options.rows.timesRelativeToFirstEvent = true;
    } else if (equalsIgnoringCase(argument, "--salvage")) {
      result.options.salvage = true;
    } else if (equalsIgnoringCase(argument, "--errors")) {
      result.options.selection.errorsOnly = true;
      result.options.selectionArguments.emplace_back(argument);
    } else if (equalsIgnoringCase(argument, "--test")) {
      result.options.testOnly = true;
    } else if (equalsIgnoringCase(argument, "--info")) {
      result.options.summary = SummaryFormat::Text;
    } else if (equalsIgnoringCase(argument, "--append")) {
      result.options.append = true;
    } else if (startsWithIgnoringCase(argument, "--")) {
      // A range or window that no event can fit is taken for a typing error.
      valid = parseValueOption(argument, result.options) && isSatisfiable(result.options.selection);
    } else if (startsWithIgnoringCase(argument, "-d")) {
      valid = parseDataFormat(argument.substr(2), result.options.rows.dataFormat);
    } else if (startsWithIgnoringCase(argument, "-i")) {
      result.options.inputPath = argument.substr(2);
      inputArgument = argument;
      haveInput = true;
    } else if (startsWithIgnoringCase(argument, "-o")) {
      result.options.outputPath = argument.substr(2);
      result.options.writesTable = true;
      outputArgument = argument;
    } else {
      valid = false;
    }
    if (!valid) {
      // A bare name is most often a path that lost its option letter.
      const bool bareName = !argument.empty() && argument.front() != '-';
      return refuse(result, std::string(argument),
                    bareName ? "hint: -iFILE takes the path without a blank; several "
                               "traces follow --, e.g. qnvtab -oOUT -- A.QNV B.QNV"
                             : "");
    }
  }
  result.options.outputToStdout = result.options.writesTable && result.options.outputPath == "-";
  const Options& options = result.options;
  if (options.outputToStdout) {
    // A file named "-" is still reached as ./-.
    const bool streams =
        options.format == OutputFormat::Tsv || options.format == OutputFormat::Jsonl;
    const char* why =
        !streams ? "-o- writes the table to standard output; a workbook or a database "
                   "needs a file"
        : options.split.splits() ? "-o- writes one table; --split writes parts beside a file"
        : options.severalTraces && options.format != OutputFormat::Jsonl
            ? "-o- writes the table of one trace; several go into the folder -o names, "
              "or into one stream with --format=jsonl"
            : nullptr;
    if (why != nullptr) return refuse(result, std::string(outputArgument), why);
  }
  if (options.severalTraces && haveInput) {
    return refuse(result, std::string(inputArgument),
                  "-i names the one trace of a run; with -- or --inputs the traces are "
                  "listed there");
  }
  if (options.severalTraces && !options.reportPath.empty()) {
    return refuse(result, "--report=" + options.reportPath,
                  "--report shows one trace; it cannot be given with several");
  }
  if (options.append && options.format != OutputFormat::Sqlite) {
    return refuse(result, "--append", "--append adds to a database: --format=sqlite");
  }
  // --test writes nothing: a table asked for as well is a contradiction.
  if (options.testOnly && options.writesTable) {
    result.outcome = CommandLineOutcome::InvalidOption;
    result.invalidArgument = "--test";
    return result;
  }
  const bool looks =
      options.testOnly || options.summary != SummaryFormat::None || !options.reportPath.empty();
  result.outcome = (haveInput || options.severalTraces) && (options.writesTable || looks)
                       ? CommandLineOutcome::Convert
                       : CommandLineOutcome::ShowUsage;
  return result;
}

}  // namespace qnvtab
