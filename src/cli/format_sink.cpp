#include "cli/format_sink.h"

#include "cli/diagnosis.h"

namespace qnvtab {
namespace {

// A library's failure: the system's reason when it gave one.
template <typename LibrarySink>
std::string libraryFailure(const LibrarySink& sink) {
  return sink.systemError() != 0 ? systemReason(sink.systemError())
                                 : std::string(sink.libraryMessage());
}

}  // namespace

FormatSink::FormatSink(OutputFormat format, const std::string& path, OutputFile& file,
                       WorkerPool* workers) {
  switch (format) {
    case OutputFormat::Tsv:
      sink_.emplace<TsvSink>(file, OutputBuffer::kDefaultCapacity, workers);
      break;
    case OutputFormat::Xlsx:
      sink_.emplace<XlsxSink>(path);
      break;
    case OutputFormat::Sqlite:
      sink_.emplace<SqliteSink>(path);
      break;
  }
}

RowSink* FormatSink::sink() {
  if (TsvSink* table = std::get_if<TsvSink>(&sink_)) {
    return table->allocated() ? table : nullptr;
  }
  if (XlsxSink* workbook = std::get_if<XlsxSink>(&sink_)) return workbook;
  return std::get_if<SqliteSink>(&sink_);
}

std::string FormatSink::failureReason(const OutputFile& file) const {
  if (const XlsxSink* workbook = std::get_if<XlsxSink>(&sink_); workbook && workbook->failed()) {
    return libraryFailure(*workbook);
  }
  if (const SqliteSink* database = std::get_if<SqliteSink>(&sink_);
      database && database->failed()) {
    return libraryFailure(*database);
  }
  return systemReason(file.lastError());
}

uint64_t FormatSink::cutDumps() const {
  const XlsxSink* workbook = std::get_if<XlsxSink>(&sink_);
  return workbook != nullptr ? workbook->cutDumps() : 0;
}

}  // namespace qnvtab
