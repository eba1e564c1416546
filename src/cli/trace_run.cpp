#include "cli/trace_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/database_trace.h"
#include "cli/diagnosis.h"
#include "cli/format_sink.h"
#include "cli/output_file.h"
#include "cli/output_parts.h"
#include "cli/printable_name.h"
#include "cli/run.h"
#include "cli/salvage_report.h"
#include "cli/trace_input.h"
#include "convert/convert_trace.h"
#include "events/discard_sink.h"
#include "events/selecting_sink.h"
#include "events/tee_sink.h"
#include "split/split_sink.h"
#include "summary/summary_json.h"
#include "summary/summary_report.h"
#include "summary/summary_text.h"
#include "summary/summary_tsv.h"
#include "summary/trace_look.h"
#include "trace/byte_source.h"

namespace qnvtab {
namespace {

// Not an input fault: the machine lacks memory for the run's buffers.
TraceResult reportOutOfMemory(TraceReport& console, uint64_t bytes) {
  console.diagnose(describeFault(outOfMemory(bytes)));
  return {kExitFailure, TraceEnd::Failed};
}

// How a run that was stopped by a signal ends: the table holds the rows up
// to the event named, and under a selection the rows counted.
TraceResult reportInterruption(TraceReport& console, int signal, int32_t events,
                               std::optional<uint64_t> selectedRows) {
  std::string where = "event " + std::to_string(events);
  if (selectedRows) where += " read, " + std::to_string(*selectedRows) + " rows written";
  console.diagnose("interrupted after " + where + " (" + signalName(signal) + ")");
  return {128 + signal, TraceEnd::Interrupted};
}

TraceResult reportSuccess(TraceReport& console, RunContext& run, TracePaths paths,
                          const ConversionOutcome& outcome, const OutputParts& parts,
                          std::optional<uint64_t> selectedRows) {
  const Options& options = run.options;
  if (options.writesTable) {
    console.sayBanner();
    console.say(completionText(paths.input, paths.output));
    for (const std::string& part : parts.paths()) console.say(continuationText(part));
    if (outcome.optionsSwitchedOff) console.say(kSwitchedOffWarningText);
  }
  if (outcome.droppedBytes > 0) {
    console.diagnose("warning: " + printableName(paths.input) + ": " +
                     std::to_string(outcome.droppedBytes) +
                     " bytes of an incomplete event after event " + std::to_string(outcome.events) +
                     " dropped at the end of the trace");
  }
  if (!options.salvage) return {kExitSuccess, TraceEnd::Sound};
  console.diagnose(printableName(paths.input) + ": " +
                   describeSalvage(outcome.salvage, outcome.events, selectedRows));
  switch (damageFound(outcome.salvage)) {
    case DamageFound::Inside:
      return {kExitSalvagedDamage, TraceEnd::Salvaged};
    case DamageFound::AtEnd:
      return {kExitSalvagedEnd, TraceEnd::Salvaged};
    case DamageFound::None:
      break;
  }
  return {kExitSuccess, TraceEnd::Sound};
}

// What the outputs' sinks say their readers should know.
void reportWarnings(TraceReport& console, const std::string& outputPath,
                    const std::vector<OutputWarning>& warnings) {
  for (const OutputWarning& warning : warnings) {
    console.diagnose("warning: " + printableName(outputPath) + ": " +
                     std::to_string(warning.count) + " " + warning.what);
  }
}

// The console text and status of a finished conversion. A signal that
// came too late to stop the loop still ends the run as interrupted.
// `writeFailure` says which output file failed and why, empty when none;
// `selectedRows` counts the rows written under a selection.
TraceResult reportOutcome(TraceReport& console, RunContext& run, TracePaths paths,
                          const ConversionOutcome& outcome, const std::string& writeFailure,
                          const OutputParts& parts, int signal,
                          std::optional<uint64_t> selectedRows) {
  const Options& options = run.options;
  if (!writeFailure.empty()) {
    console.diagnose(writeFailure);
    return console.fail(kCannotWriteOutputText, TraceEnd::OutputFailed);
  }
  if (signal != 0 && (outcome.stopped || !outcome.fault)) {
    return reportInterruption(console, signal, outcome.events, selectedRows);
  }
  if (outcome.fault && isOutOfMemory(*outcome.fault)) {
    return reportOutOfMemory(console, outcome.fault->found);
  }
  if (outcome.fault) {
    const std::string input = printableName(paths.input);
    console.diagnose(input + ": " + describeFault(*outcome.fault));
    if (options.salvage && outcome.fault->block != 0) {
      console.diagnose(input + ": " +
                       describeSalvage(outcome.salvage, outcome.events, selectedRows));
    }
    if (!options.salvage && salvageMayPass(outcome.fault->kind)) {
      console.hint("hint: --salvage converts the intact blocks of a damaged trace");
    }
    return console.fail(kInputFaultText);
  }
  return reportSuccess(console, run, paths, outcome, parts, selectedRows);
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

// Incidents said in the trace's report.
class ReportedIncidents : public IncidentReporter {
 public:
  ReportedIncidents(TraceReport& report, std::string prefix)
      : report_(report), prefix_(std::move(prefix)) {}
  void report(const Incident& incident) override {
    report_.hint(prefix_ + describeIncident(incident));
  }

 private:
  TraceReport& report_;
  std::string prefix_;
};

// Closes the output files; the diagnosis of the one that failed, the part
// files first, or empty when every file was written.
// `formatFailure` is the reason the output's sink gives for its failure.
std::string closeOutputs(const std::string& outputPath, const ConversionOutcome& outcome,
                         OutputFile& output, const std::string& formatFailure, OutputParts& parts) {
  const bool closed = output.close();
  if (!parts.close()) return parts.failure();
  if (!outcome.writeFailed && closed) return "";
  return printableName(outputPath) +
         ": cannot write: " + (closed ? formatFailure : systemReason(output.lastError()));
}

// How the conversion that `outcome` ends stands for the trace's views.
TraceEnding endingOf(const ConversionOutcome& outcome, bool salvage) {
  return {outcome.fault.has_value(), salvage,        outcome.blocks,
          outcome.salvage,           outcome.header, outcome.footer};
}

// Writes the report page to `file`; the diagnosis of a failure, else empty.
std::string writeReport(const TraceSummary& summary, const std::string& path, OutputFile& file) {
  const std::string page = summaryReport(summary);
  const bool written = file.write(page.data(), page.size());
  const int error = file.lastError();
  if (file.close() && written) return "";
  return printableName(path) +
         ": cannot write: " + systemReason(written ? file.lastError() : error);
}

// After a run that was not interrupted: the summary on the console after
// the run's own text, and the report page. The run's status, unless the
// report cannot be written.
TraceResult showLook(TraceReport& console, RunContext& run, const TraceLook& look,
                     ByteSource& input, const ConversionOutcome& outcome, const TraceEnding& ending,
                     std::optional<uint64_t> selectedRows, OutputFile& reportFile,
                     TraceResult result) {
  const Options& options = run.options;
  const TraceSummary summary = look.summarize(
      input, ending, outcome.fault ? describeFault(*outcome.fault) : "",
      options.salvage ? describeSalvage(outcome.salvage, outcome.events, selectedRows) : "");
  switch (options.summary) {
    case SummaryFormat::None:
      break;
    case SummaryFormat::Text:
      console.sayDocument(summaryText(summary), false);
      break;
    case SummaryFormat::Json:
      // Several traces make one array of their documents.
      console.sayDocument(summaryJson(summary), true);
      break;
    case SummaryFormat::Tsv:
      // A run of several shows the title once, before the first trace.
      if (!run.severalTraces) console.saySummary(summaryTsvTitle());
      console.saySummary(summaryTsvRow(summary));
      break;
  }
  if (!options.reportPath.empty()) {
    const std::string failure = writeReport(summary, options.reportPath, reportFile);
    if (!failure.empty()) {
      console.diagnose(failure);
      return console.fail(kCannotWriteOutputText, TraceEnd::OutputFailed);
    }
  }
  return result;
}

// Opens `path` as an output beside the input, or standard output for
// `toStdout`; the result of a refusal.
std::optional<TraceResult> openOutput(TraceReport& console, OutputFile& file,
                                      const std::string& path, const struct stat& input,
                                      bool toStdout = false) {
  if (toStdout ? file.openStandardOutput(input) : file.open(path, input)) return std::nullopt;
  return console.refuse(path, file.openFailureReason(), kCannotOpenOutputText,
                        TraceEnd::OutputFailed);
}

}  // namespace

void diagnose(const std::string& line) {
  const std::string text = "qnvtab: " + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

namespace {

TraceResult convertOne(RunContext& run, TracePaths paths, TraceReport& early) {
  const Options& options = run.options;
  const std::string& inputPath = paths.input;
  const std::string& outputPath = paths.output;
  TraceInput traceInput;
  const InputRules inputRules{
      !run.severalTraces, options.salvage ? AtDamage::ReadOn : AtDamage::Stop, run.interruption};
  if (auto refused = openTraceInput(inputPath, inputRules, traceInput)) {
    if (refused->signal != 0) return reportInterruption(early, refused->signal, 0, std::nullopt);
    if (refused->error == ENOMEM) return reportOutOfMemory(early, FileByteSource::kWindowSize);
    early.diagnose(refused->diagnosis);
    return early.fail(kCannotOpenInputText, TraceEnd::Failed);
  }
  FileByteSource& input = traceInput.source;
  const struct stat& inputStat = traceInput.given;
  // Where the compressed bytes are damaged the trace is cut, or has a gap
  // where salvage read on; its own conversion then says what that cost.
  for (const StreamDamage& damage : traceInput.decoded.damages) {
    const std::string line =
        printableName(inputPath) + ": " + describeDamage(damage, traceInput.compression);
    if (run.severalTraces) {
      early.diagnose(line);
    } else {
      early.diagnoseNow(line);
    }
  }
  const bool toDatabase = options.writesTable && run.database != nullptr;
  const bool toFile = options.writesTable && !toDatabase;
  OutputFile outputFile;
  // Standard output holds the table alone, whatever becomes of it.
  if (options.outputToStdout) early.setConsole(stderr);
  if (toFile) {
    if (auto refused =
            openOutput(early, outputFile, outputPath, inputStat, options.outputToStdout)) {
      return *refused;
    }
  }
  OutputFile reportFile;
  if (!options.reportPath.empty()) {
    if (auto refused = openOutput(early, reportFile, options.reportPath, inputStat)) {
      return *refused;
    }
    if (toFile && outputFile.isSameFileAs(reportFile.descriptor())) {
      return early.refuse(options.reportPath, "the report is the output file",
                          kCannotOpenOutputText, TraceEnd::OutputFailed);
    }
  }
  // A table written to standard output must not be mixed with the console
  // text, which then goes to standard error.
  if (toFile && outputFile.isSameFileAs(STDOUT_FILENO)) early.setConsole(stderr);
  TraceReport& console = early;
  std::optional<DatabaseTrace> database;
  if (toDatabase) {
    database.emplace(run, console, paths);
    if (auto ended = database->begin(input, inputStat)) return *ended;
  }

  ConversionOutcome outcome;
  WorkerPool* const pool = run.workers;
  OutputParts parts(options.format, outputPath, inputStat, pool,
                    database ? &database->part() : nullptr);
  std::string formatFailure;
  std::vector<OutputWarning> warnings;
  std::optional<uint64_t> selectedRows;
  // A trace of several speaks in its turn; one alone as it goes.
  StderrIncidentReporter stderrIncidents("qnvtab: " + printableName(inputPath) + ": ",
                                         run.progress);
  ReportedIncidents reportedIncidents(console, printableName(inputPath) + ": ");
  LossRecorder incidents(run.severalTraces ? static_cast<IncidentReporter&>(reportedIncidents)
                                           : stderrIncidents);
  const bool looks = options.summary != SummaryFormat::None || !options.reportPath.empty();
  std::optional<InputPacking> packing;
  if (traceInput.compression != Compression::None) {
    const DecodedStream& decoded = traceInput.decoded;
    packing = InputPacking{compressionName(traceInput.compression), decoded.members,
                           decoded.compressedBytes, decoded.decodedBytes};
  }
  LookRequest request{looks, printableName(inputPath), static_cast<uint64_t>(input.size()),
                      options.selectionArguments, packing, {printableName, describeIncident}};
  TraceLook look(std::move(request), incidents);
  {
    std::optional<FormatSink> format;
    // Several traces on standard output share one stream of JSON Lines.
    const std::string_view trace =
        run.severalTraces && options.outputToStdout ? std::string_view(inputPath) : "";
    if (toFile) format.emplace(options.format, outputPath, outputFile, pool, nullptr, trace);
    RowSink* output = database ? database->rows() : format ? format->sink() : nullptr;
    if (format && output == nullptr) {
      outcome.fault = outOfMemory(format->bufferBytes());
    } else if (!look.allocated()) {
      outcome.fault = outOfMemory(EventStats::kTableBytes);
    } else {
      InterruptibleObserver observer(run.interruption, run.progress);
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
  if (toFile) writeFailure = closeOutputs(outputPath, outcome, outputFile, formatFailure, parts);
  // A reader that closed the pipe wants no more rows, nor a message.
  if (!writeFailure.empty() && options.outputToStdout && outputFile.lastError() == EPIPE) {
    return {kExitFailure, TraceEnd::OutputFailed};
  }
  if (toDatabase) {
    if (!parts.close()) {
      writeFailure = parts.failure();
    } else if (outcome.writeFailed) {
      writeFailure = printableName(outputPath) + ": cannot write: " + formatFailure;
    }
  }
  mergeWarnings(warnings, parts.warnings());
  reportWarnings(console, outputPath, warnings);
  const int signal = run.interruption.received();
  TraceResult result =
      reportOutcome(console, run, paths, outcome, writeFailure, parts, signal, selectedRows);
  result.events = static_cast<uint64_t>(outcome.events);
  const TraceEnding ending = endingOf(outcome, options.salvage);
  if (database) {
    if (auto failed = database->end(result, ending, incidents.losses(), parts.paths())) {
      return *failed;
    }
  }
  if (result.end == TraceEnd::Interrupted || !look.wanted()) return result;
  return showLook(console, run, look, input, outcome, ending, selectedRows, reportFile, result);
}

}  // namespace

TraceRun runTrace(RunContext& run, const std::string& inputPath, const std::string& outputPath) {
  // --test keeps standard output empty; the summaries of several traces
  // are all that it holds.
  const Options& options = run.options;
  std::FILE* const summaries = options.testOnly ? stderr : stdout;
  const bool summariesAlone = run.severalTraces && options.summary != SummaryFormat::None;
  TraceRun trace{{}, TraceReport(summariesAlone ? stderr : summaries, summaries)};
  trace.result = convertOne(run, {inputPath, outputPath}, trace.report);
  return trace;
}

}  // namespace qnvtab
