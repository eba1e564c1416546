#include "cli/options.h"

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

bool parseOutputFormat(std::string_view value, OutputFormat& format) {
  if (equalsIgnoringCase(value, "tsv")) {
    format = OutputFormat::Tsv;
  } else if (equalsIgnoringCase(value, "xlsx")) {
    format = OutputFormat::Xlsx;
  } else if (equalsIgnoringCase(value, "sqlite")) {
    format = OutputFormat::Sqlite;
  } else {
    return false;
  }
  return true;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine result;
  bool haveInput = false;
  bool haveOutput = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    bool valid = true;
    if (argument == "-?") {
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
    } else if (startsWithIgnoringCase(argument, "--format=")) {
      valid = parseOutputFormat(argument.substr(9), result.options.format);
    } else if (startsWithIgnoringCase(argument, "-d")) {
      valid = parseDataFormat(argument.substr(2), result.options.rows.dataFormat);
    } else if (startsWithIgnoringCase(argument, "-i")) {
      result.options.inputPath = argument.substr(2);
      haveInput = true;
    } else if (startsWithIgnoringCase(argument, "-o")) {
      result.options.outputPath = argument.substr(2);
      haveOutput = true;
    } else {
      valid = false;
    }
    if (!valid) {
      result.outcome = CommandLineOutcome::InvalidOption;
      result.invalidArgument = argument;
      return result;
    }
  }
  result.outcome =
      haveInput && haveOutput ? CommandLineOutcome::Convert : CommandLineOutcome::ShowUsage;
  return result;
}

}  // namespace qnvtab
