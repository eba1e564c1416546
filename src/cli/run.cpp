#include "cli/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/console.h"
#include "cli/diagnosis.h"
#include "cli/format_sink.h"
#include "cli/interruption.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/printable_name.h"
#include "cli/progress.h"
#include "cli/salvage_report.h"
#include "convert/convert_trace.h"
#include "trace/byte_source.h"

namespace qnvtab {
namespace {

void print(std::FILE* console, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), console);
}

void diagnose(const std::string& line) {
  const std::string text = "qnvtab: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

int failWith(std::FILE* console, const char* message) {
  std::fputs(message, console);
  return kExitFailure;
}

// Faults past which a salvage run may find intact blocks.
bool mayBeSalvaged(FaultKind kind) {
  return kind != FaultKind::FileTooShort && kind != FaultKind::SourceNotSized &&
         kind != FaultKind::ReadFailed && kind != FaultKind::LibraryUnavailable;
}

// Not an input fault: the machine lacks memory for the run's buffers.
int reportOutOfMemory(uint64_t bytes) {
  Fault noMemory = makeFault(FaultKind::OutOfMemory);
  noMemory.found = bytes;
  diagnose(describeFault(noMemory));
  return kExitFailure;
}

int refuseOpen(const std::string& path, const std::string& reason, const char* message) {
  diagnose(printableName(path) + ": cannot open: " + reason);
  return failWith(stdout, message);
}

// How a run that was stopped by a signal ends: the table holds the rows up
// to the event named.
int reportInterruption(int signal, int32_t events) {
  diagnose("interrupted after event " + std::to_string(events) + " (" + signalName(signal) + ")");
  return 128 + signal;
}

int reportSuccess(std::FILE* console, const Options& options, const ConversionOutcome& outcome) {
  print(console, bannerText());
  print(console, completionText(options.inputPath, options.outputPath));
  if (outcome.optionsSwitchedOff) std::fputs(kSwitchedOffWarningText, console);
  if (outcome.droppedBytes > 0) {
    diagnose("warning: " + printableName(options.inputPath) + ": " +
             std::to_string(outcome.droppedBytes) + " bytes of an incomplete event after event " +
             std::to_string(outcome.events) + " dropped at the end of the trace");
  }
  if (!options.salvage) return kExitSuccess;
  diagnose(printableName(options.inputPath) + ": " +
           describeSalvage(outcome.salvage, outcome.events));
  if (outcome.salvage.interiorDamage) return kExitSalvagedDamage;
  return outcome.salvage.endDamage ? kExitSalvagedEnd : kExitSuccess;
}

// A workbook cell holds less than the longest dumps.
void reportCutDumps(const Options& options, uint64_t cutDumps) {
  if (cutDumps == 0) return;
  diagnose("warning: " + printableName(options.outputPath) + ": " + std::to_string(cutDumps) +
           " dumps longer than a cell's " + std::to_string(XlsxSink::kCellTextMax) +
           " characters cut after a whole byte and marked with ' ...'");
}

// The console text and exit status of a finished conversion. A signal that
// came too late to stop the loop still ends the run as interrupted.
int reportOutcome(std::FILE* console, const Options& options, const ConversionOutcome& outcome,
                  bool closed, const std::string& writeFailure, int signal) {
  if (outcome.writeFailed || !closed) {
    diagnose(printableName(options.outputPath) + ": cannot write: " + writeFailure);
    return failWith(console, kCannotWriteOutputText);
  }
  if (signal != 0 && (outcome.stopped || !outcome.fault)) {
    return reportInterruption(signal, outcome.events);
  }
  if (outcome.fault && outcome.fault->kind == FaultKind::OutOfMemory) {
    return reportOutOfMemory(outcome.fault->found);
  }
  if (outcome.fault) {
    const std::string input = printableName(options.inputPath);
    diagnose(input + ": " + describeFault(*outcome.fault));
    if (options.salvage && outcome.fault->block != 0) {
      diagnose(input + ": " + describeSalvage(outcome.salvage, outcome.events));
    }
    if (!options.salvage && mayBeSalvaged(outcome.fault->kind)) {
      diagnose("hint: --salvage converts the intact blocks of a damaged trace");
    }
    return failWith(console, kInputFaultText);
  }
  return reportSuccess(console, options, outcome);
}

int convertFiles(const Options& options) {
  FileByteSource input;
  int openError = 0;
  struct stat inputStat;
  if (!input.open(options.inputPath, openError)) {
    if (openError == ENOMEM) return reportOutOfMemory(FileByteSource::kWindowSize);
    return refuseOpen(options.inputPath, systemReason(openError), kCannotOpenInputText);
  }
  if (::fstat(input.descriptor(), &inputStat) != 0) {
    return refuseOpen(options.inputPath, systemReason(errno), kCannotOpenInputText);
  }
  OutputFile outputFile;
  if (!outputFile.open(options.outputPath, inputStat)) {
    return refuseOpen(options.outputPath,
                      outputFile.namesInput() ? "the output is the input file"
                                              : systemReason(outputFile.lastError()),
                      kCannotOpenOutputText);
  }
  // A table written to standard output must not be mixed with the console
  // text, which then goes to standard error.
  std::FILE* console = outputFile.isSameFileAs(STDOUT_FILENO) ? stderr : stdout;

  ConversionOutcome outcome;
  InterruptionWatch interruption;
  std::string writeFailure;
  {
    FormatSink format(options.format, options.outputPath, outputFile);
    if (format.sink() == nullptr) {
      outcome.fault = makeFault(FaultKind::OutOfMemory);
      outcome.fault->found = OutputBuffer::kDefaultCapacity;
    } else {
      ProgressLine progress(stderr);
      ProgressLine* shown = ::isatty(STDERR_FILENO) ? &progress : nullptr;
      StderrIncidentReporter incidents("qnvtab: " + printableName(options.inputPath) + ": ",
                                       shown);
      InterruptibleObserver observer(interruption, shown);
      outcome = convertTrace(input, ConversionSettings{options.rows, options.salvage},
                             *format.sink(), &observer, &incidents);
    }
    reportCutDumps(options, format.cutDumps());
    writeFailure = format.failureReason(outputFile);
  }
  const bool closed = outputFile.close();
  if (!closed) writeFailure = systemReason(outputFile.lastError());
  return reportOutcome(console, options, outcome, closed, writeFailure, interruption.received());
}

int runCommandLine(int argc, const char* const* argv) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  switch (commandLine.outcome) {
    case CommandLineOutcome::ShowUsage:
      print(stdout, bannerText());
      print(stdout, usageText());
      return kExitFailure;
    case CommandLineOutcome::ShowHelp:
      print(stdout, bannerText());
      print(stdout, helpText());
      return kExitSuccess;
    case CommandLineOutcome::ShowVersion:
      print(stdout, versionText());
      return kExitSuccess;
    case CommandLineOutcome::InvalidOption:
      print(stdout, invalidOptionText(commandLine.invalidArgument));
      return kExitInvalidOption;
    case CommandLineOutcome::Convert:
      break;
  }
  return convertFiles(commandLine.options);
}

}  // namespace

int runQnvtab(int argc, const char* const* argv) {
  // A reader that goes away or a file-size limit is a write failure like
  // any other, reported and not a silent death.
  ignoreWriteSignals();
  const int status = runCommandLine(argc, argv);
  // The console text is part of the result: a run whose text cannot be
  // written has failed, whatever it did.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    diagnose("cannot write to standard output: " + systemReason(errno));
    return status == kExitSuccess ? kExitFailure : status;
  }
  return status;
}

}  // namespace qnvtab
