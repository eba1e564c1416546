#include "driver/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/console.h"
#include "driver/conversion.h"
#include "driver/options.h"
#include "driver/output_file.h"
#include "driver/progress.h"
#include "trace/file_handle.h"

namespace qnvtab {
namespace {

constexpr size_t kInputBufferSize = size_t{1} << 16;

void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void diagnose(const std::string& line) {
  const std::string text = "qnvtab: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

int failWith(const char* message) {
  std::fputs(message, stdout);
  return kExitFailure;
}

int convertFiles(const Options& options) {
  FileHandle input(std::fopen(options.inputPath.c_str(), "rb"));
  struct stat inputStat;
  if (!input || ::fstat(fileno(input.get()), &inputStat) != 0 || S_ISDIR(inputStat.st_mode)) {
    return failWith(kCannotOpenInputText);
  }
  std::setvbuf(input.get(), nullptr, _IOFBF, kInputBufferSize);

  OutputFile outputFile;
  if (!outputFile.open(options.outputPath, inputStat)) return failWith(kCannotOpenOutputText);

  ConversionReport report;
  {
    OutputBuffer out(outputFile);
    ProgressLine progress(stderr);
    report = convertTrace(input.get(), options, out, ::isatty(STDERR_FILENO) ? &progress : nullptr);
  }
  const bool closed = outputFile.close();
  input.reset();

  if (report.status == ConversionStatus::WriteFault || !closed) {
    diagnose(options.outputPath + ": cannot write: " + std::strerror(outputFile.lastError()));
    return failWith(kCannotWriteOutputText);
  }
  if (report.status == ConversionStatus::InputFault) {
    diagnose(options.inputPath + ": " + report.fault);
    return failWith(kInputFaultText);
  }
  print(bannerText());
  print(completionText(options.inputPath, options.outputPath));
  if (report.optionsSwitchedOff) std::fputs(kSwitchedOffWarningText, stdout);
  if (report.droppedBytes > 0) {
    diagnose("warning: " + options.inputPath + ": " + std::to_string(report.droppedBytes) +
             " bytes of an incomplete event after event " + std::to_string(report.events) +
             " dropped at the end of the trace");
  }
  return kExitSuccess;
}

}  // namespace

int runQnvtab(int argc, const char* const* argv) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  switch (commandLine.outcome) {
    case CommandLineOutcome::ShowUsage:
      print(bannerText());
      print(usageText());
      return kExitFailure;
    case CommandLineOutcome::InvalidOption:
      print(invalidOptionText(commandLine.invalidArgument));
      return kExitInvalidOption;
    case CommandLineOutcome::Convert:
      break;
  }
  return convertFiles(commandLine.options);
}

}  // namespace qnvtab
