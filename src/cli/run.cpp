#include "cli/run.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/diagnosis.h"
#include "cli/format_sink.h"
#include "cli/interruption.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/output_parts.h"
#include "cli/printable_name.h"
#include "cli/progress.h"
#include "cli/salvage_report.h"
#include "convert/convert_trace.h"
#include "cli/trace_look.h"
#include "summary/summary_json.h"
#include "summary/summary_text.h"
#include "events/discard_sink.h"
#include "events/selecting_sink.h"
#include "events/tee_sink.h"
#include "parallel/worker_pool.h"
#include "split/split_sink.h"
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

// Not an input fault: the machine lacks memory for the run's buffers.
int reportOutOfMemory(uint64_t bytes) {
  diagnose(describeFault(outOfMemory(bytes)));
  return kExitFailure;
}

int refuseOpen(const std::string& path, const std::string& reason, const char* message) {
  diagnose(printableName(path) + ": cannot open: " + reason);
  return failWith(stdout, message);
}

// How a run that was stopped by a signal ends: the table holds the rows up
// to the event named, and under a selection the rows counted.
int reportInterruption(int signal, int32_t events, std::optional<uint64_t> selectedRows) {
  std::string where = "event " + std::to_string(events);
  if (selectedRows) where += " read, " + std::to_string(*selectedRows) + " rows written";
  diagnose("interrupted after " + where + " (" + signalName(signal) + ")");
  return 128 + signal;
}

int reportSuccess(std::FILE* console, const Options& options, const ConversionOutcome& outcome,
                  const OutputParts& parts, std::optional<uint64_t> selectedRows) {
  if (options.writesTable) {
    print(console, bannerText());
    print(console, completionText(options.inputPath, options.outputPath));
    for (const std::string& part : parts.paths()) print(console, continuationText(part));
    if (outcome.optionsSwitchedOff) std::fputs(kSwitchedOffWarningText, console);
  }
  if (outcome.droppedBytes > 0) {
    diagnose("warning: " + printableName(options.inputPath) + ": " +
             std::to_string(outcome.droppedBytes) + " bytes of an incomplete event after event " +
             std::to_string(outcome.events) + " dropped at the end of the trace");
  }
  if (!options.salvage) return kExitSuccess;
  diagnose(printableName(options.inputPath) + ": " +
           describeSalvage(outcome.salvage, outcome.events, selectedRows));
  switch (damageFound(outcome.salvage)) {
    case DamageFound::Inside:
      return kExitSalvagedDamage;
    case DamageFound::AtEnd:
      return kExitSalvagedEnd;
    case DamageFound::None:
      break;
  }
  return kExitSuccess;
}

// What the outputs' sinks say their readers should know.
void reportWarnings(const Options& options, const std::vector<OutputWarning>& warnings) {
  for (const OutputWarning& warning : warnings) {
    diagnose("warning: " + printableName(options.outputPath) + ": " +
             std::to_string(warning.count) + " " + warning.what);
  }
}

// The console text and exit status of a finished conversion. A signal that
// came too late to stop the loop still ends the run as interrupted.
// `writeFailure` says which output file failed and why, empty when none;
// `selectedRows` counts the rows written under a selection.
int reportOutcome(std::FILE* console, const Options& options, const ConversionOutcome& outcome,
                  const std::string& writeFailure, const OutputParts& parts, int signal,
                  std::optional<uint64_t> selectedRows) {
  if (!writeFailure.empty()) {
    diagnose(writeFailure);
    return failWith(console, kCannotWriteOutputText);
  }
  if (signal != 0 && (outcome.stopped || !outcome.fault)) {
    return reportInterruption(signal, outcome.events, selectedRows);
  }
  if (outcome.fault && isOutOfMemory(*outcome.fault)) {
    return reportOutOfMemory(outcome.fault->found);
  }
  if (outcome.fault) {
    const std::string input = printableName(options.inputPath);
    diagnose(input + ": " + describeFault(*outcome.fault));
    if (options.salvage && outcome.fault->block != 0) {
      diagnose(input + ": " + describeSalvage(outcome.salvage, outcome.events, selectedRows));
    }
    if (!options.salvage && salvageMayPass(outcome.fault->kind)) {
      diagnose("hint: --salvage converts the intact blocks of a damaged trace");
    }
    return failWith(console, kInputFaultText);
  }
  return reportSuccess(console, options, outcome, parts, selectedRows);
}

// The row sinks in front of the output's own: the selection, then the
// split into parts, and the look at the events beside them; each only when
// asked for. With neither an output nor a look (--test), the records
// framed are dropped.
class SinkChain {
 public:
  SinkChain(const Options& options, RowSink* output, PartFactory& parts, RowSink* look)
      : front_(output != nullptr ? output : &discard_) {
    if (output != nullptr && options.split.splits()) {
      front_ = &split_.emplace(options.split, *front_, parts);
    }
    if (look != nullptr) front_ = output != nullptr ? &tee_.emplace(*front_, *look) : look;
    // A look or a check covers the whole trace; a table alone may end
    // after the last event selected.
    const bool stopsEarly = look == nullptr && output != nullptr;
    if (!options.selection.keepsAll()) {
      front_ = &selecting_.emplace(options.selection, *front_, stopsEarly);
    }
  }
  RowSink& front() { return *front_; }
  // The rows written under a selection; none without one.
  std::optional<uint64_t> selectedRows() const {
    return selecting_ ? std::optional(selecting_->rowsKept()) : std::nullopt;
  }

 private:
  DiscardSink discard_;
  std::optional<SplitSink> split_;
  std::optional<TeeSink> tee_;
  std::optional<SelectingSink> selecting_;
  RowSink* front_;
};

// Closes the output files; the diagnosis of the one that failed, the part
// files first, or empty when every file was written.
// `formatFailure` is the reason the output's sink gives for its failure.
std::string closeOutputs(const Options& options, const ConversionOutcome& outcome,
                         OutputFile& output, const std::string& formatFailure,
                         OutputParts& parts) {
  const bool closed = output.close();
  if (!parts.close()) return parts.failure();
  if (!outcome.writeFailed && closed) return "";
  return printableName(options.outputPath) + ": cannot write: " +
         (closed ? formatFailure : systemReason(output.lastError()));
}

// Without --threads, as many threads as the cores this process may run on.
unsigned threadCount(const Options& options) {
  if (options.threads != 0) return options.threads;
  cpu_set_t cores;
  if (::sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&cores));
}

// After a run that was not interrupted: the summary on the console after
// the run's own text, and the report page. The run's status, unless the
// report cannot be written.
int showLook(std::FILE* console, const Options& options, const TraceLook& look,
             ByteSource& input, const ConversionOutcome& outcome,
             std::optional<uint64_t> selectedRows, OutputFile& reportFile, int status) {
  const TraceSummary summary = look.summarize(
      input, outcome, outcome.fault ? describeFault(*outcome.fault) : "",
      options.salvage ? describeSalvage(outcome.salvage, outcome.events, selectedRows) : "");
  if (options.summary != SummaryFormat::None) {
    print(console, options.summary == SummaryFormat::Json ? summaryJson(summary)
                                                          : summaryText(summary));
  }
  if (!options.reportPath.empty()) {
    const std::string failure = writeReport(summary, options.reportPath, reportFile);
    if (!failure.empty()) {
      diagnose(failure);
      return failWith(console, kCannotWriteOutputText);
    }
  }
  return status;
}

// Opens `path` as an output beside the input; the status of a refusal.
std::optional<int> openOutput(OutputFile& file, const std::string& path,
                              const struct stat& input) {
  if (file.open(path, input)) return std::nullopt;
  return refuseOpen(path, file.openFailureReason(), kCannotOpenOutputText);
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
  if (options.writesTable) {
    if (auto refused = openOutput(outputFile, options.outputPath, inputStat)) return *refused;
  }
  OutputFile reportFile;
  if (!options.reportPath.empty()) {
    if (auto refused = openOutput(reportFile, options.reportPath, inputStat)) return *refused;
    if (options.writesTable && outputFile.isSameFileAs(reportFile.descriptor())) {
      return refuseOpen(options.reportPath, "the report is the output file",
                        kCannotOpenOutputText);
    }
  }
  // A table written to standard output must not be mixed with the console
  // text, which then goes to standard error; --test keeps standard output
  // empty.
  std::FILE* console =
      options.testOnly || (options.writesTable && outputFile.isSameFileAs(STDOUT_FILENO))
          ? stderr
          : stdout;

  ConversionOutcome outcome;
  InterruptionWatch interruption;
  // One thread alone runs the serial path; more start workers for it. The
  // converting thread runs the workers' jobs while it waits for them, so
  // it counts as one of the threads.
  const unsigned threads = threadCount(options);
  std::optional<WorkerPool> workers;
  if (threads > 1) workers.emplace(threads - 1);
  WorkerPool* pool = workers ? &*workers : nullptr;
  OutputParts parts(options.format, options.outputPath, inputStat, pool);
  std::string formatFailure;
  std::vector<OutputWarning> warnings;
  std::optional<uint64_t> selectedRows;
  ProgressLine progress(stderr);
  ProgressLine* shown = ::isatty(STDERR_FILENO) ? &progress : nullptr;
  StderrIncidentReporter incidents("qnvtab: " + printableName(options.inputPath) + ": ", shown);
  TraceLook look(options, static_cast<uint64_t>(input.size()), incidents);
  {
    std::optional<FormatSink> format;
    if (options.writesTable) format.emplace(options.format, options.outputPath, outputFile, pool);
    RowSink* output = format ? format->sink() : nullptr;
    if (format && output == nullptr) {
      outcome.fault = outOfMemory(format->bufferBytes());
    } else if (!look.allocated()) {
      outcome.fault = outOfMemory(EventStats::kTableBytes);
    } else {
      InterruptibleObserver observer(interruption, shown);
      SinkChain chain(options, output, parts, look.sink());
      outcome = convertTrace(input, ConversionSettings{options.rows, options.salvage, pool},
                             chain.front(), &observer, &look);
      selectedRows = chain.selectedRows();
    }
    if (output != nullptr) {
      warnings = output->warnings();
      formatFailure = output->failureReason();
    }
  }
  std::string writeFailure;
  if (options.writesTable) {
    writeFailure = closeOutputs(options, outcome, outputFile, formatFailure, parts);
  }
  mergeWarnings(warnings, parts.warnings());
  reportWarnings(options, warnings);
  const int signal = interruption.received();
  const int status =
      reportOutcome(console, options, outcome, writeFailure, parts, signal, selectedRows);
  const bool interrupted = signal != 0 && (outcome.stopped || !outcome.fault);
  if (interrupted || !look.wanted()) return status;
  return showLook(console, options, look, input, outcome, selectedRows, reportFile, status);
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
