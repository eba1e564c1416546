#include "cli/format_sink.h"

#include <algorithm>

#include "database/sqlite_sink.h"
#include "table/tsv_sink.h"
#include "workbook/xlsx_sink.h"

namespace qnvtab {

FormatSink::FormatSink(OutputFormat format, const std::string& path, OutputFile& file,
                       WorkerPool* workers) {
  switch (format) {
    case OutputFormat::Tsv: {
      auto table = std::make_unique<TsvSink>(file, OutputBuffer::kDefaultCapacity, workers);
      if (table->allocated()) sink_ = std::move(table);
      break;
    }
    case OutputFormat::Xlsx:
      sink_ = std::make_unique<XlsxSink>(path);
      break;
    case OutputFormat::Sqlite:
      sink_ = std::make_unique<SqliteSink>(path, workers != nullptr ? workers->size() : 0);
      break;
  }
}

size_t FormatSink::bufferBytes() const { return OutputBuffer::kDefaultCapacity; }

void mergeWarnings(std::vector<OutputWarning>& warnings, const std::vector<OutputWarning>& more) {
  for (const OutputWarning& warning : more) {
    const auto same = std::find_if(warnings.begin(), warnings.end(), [&](const OutputWarning& w) {
      return w.what == warning.what;
    });
    if (same != warnings.end()) {
      same->count += warning.count;
    } else {
      warnings.push_back(warning);
    }
  }
}

}  // namespace qnvtab
