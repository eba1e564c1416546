#include "cli/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/console.h"
#include "cli/diagnosis.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "cli/salvage_report.h"
#include "convert/convert_trace.h"
#include "table/tsv_sink.h"
#include "trace/byte_source.h"

namespace qnvtab {
namespace {

void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void diagnose(const std::string& line) {
  const std::string text = "qnvtab: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

int failWith(const char* message) {
  std::fputs(message, stdout);
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

// The console text and exit status of a finished conversion.
int reportOutcome(const Options& options, const ConversionOutcome& outcome, bool closed,
                  int writeError) {
  if (outcome.writeFailed || !closed) {
    diagnose(options.outputPath + ": cannot write: " + systemReason(writeError));
    return failWith(kCannotWriteOutputText);
  }
  if (outcome.fault && outcome.fault->kind == FaultKind::OutOfMemory) {
    return reportOutOfMemory(outcome.fault->found);
  }
  if (outcome.fault) {
    diagnose(options.inputPath + ": " + describeFault(*outcome.fault));
    if (options.salvage && outcome.fault->block != 0) {
      diagnose(options.inputPath + ": " + describeSalvage(outcome.salvage, outcome.events));
    }
    if (!options.salvage && mayBeSalvaged(outcome.fault->kind)) {
      diagnose("hint: --salvage converts the intact blocks of a damaged trace");
    }
    return failWith(kInputFaultText);
  }
  print(bannerText());
  print(completionText(options.inputPath, options.outputPath));
  if (outcome.optionsSwitchedOff) std::fputs(kSwitchedOffWarningText, stdout);
  if (outcome.droppedBytes > 0) {
    diagnose("warning: " + options.inputPath + ": " + std::to_string(outcome.droppedBytes) +
             " bytes of an incomplete event after event " + std::to_string(outcome.events) +
             " dropped at the end of the trace");
  }
  if (!options.salvage) return kExitSuccess;
  diagnose(options.inputPath + ": " + describeSalvage(outcome.salvage, outcome.events));
  if (outcome.salvage.interiorDamage) return kExitSalvagedDamage;
  return outcome.salvage.endDamage ? kExitSalvagedEnd : kExitSuccess;
}

int convertFiles(const Options& options) {
  FileByteSource input;
  int openError = 0;
  struct stat inputStat;
  if (!input.open(options.inputPath, openError) || ::fstat(input.descriptor(), &inputStat) != 0) {
    if (openError == ENOMEM) return reportOutOfMemory(FileByteSource::kWindowSize);
    return failWith(kCannotOpenInputText);
  }
  OutputFile outputFile;
  if (!outputFile.open(options.outputPath, inputStat)) return failWith(kCannotOpenOutputText);

  ConversionOutcome outcome;
  {
    TsvSink sink(outputFile);
    if (!sink.allocated()) {
      outcome.fault = makeFault(FaultKind::OutOfMemory);
      outcome.fault->found = OutputBuffer::kDefaultCapacity;
    } else {
      ProgressLine progress(stderr);
      ProgressLine* shown = ::isatty(STDERR_FILENO) ? &progress : nullptr;
      StderrIncidentReporter incidents("qnvtab: " + options.inputPath + ": ", shown);
      outcome = convertTrace(input, ConversionSettings{options.rows, options.salvage}, sink, shown,
                             &incidents);
    }
  }
  const bool closed = outputFile.close();
  return reportOutcome(options, outcome, closed, outputFile.lastError());
}

int runCommandLine(int argc, const char* const* argv) {
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

}  // namespace

int runQnvtab(int argc, const char* const* argv) {
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
