#include "cli/format_sink.h"

#include <algorithm>

#include "database/sqlite_part_sink.h"
#include "jsonl/jsonl_sink.h"
#include "table/tsv_sink.h"
#include "workbook/xlsx_sink.h"

namespace qnvtab {

FormatSink::FormatSink(OutputFormat format, const std::string& path, OutputFile& file,
                       WorkerPool* workers, const DatabasePart* part, std::string_view trace) {
  switch (format) {
    case OutputFormat::Tsv: {
      auto table = std::make_unique<TsvSink>(file, OutputBuffer::kDefaultCapacity, workers);
      if (table->allocated()) sink_ = std::move(table);
      break;
    }
    case OutputFormat::Jsonl: {
      auto lines = std::make_unique<JsonlSink>(file, trace);
      if (lines->allocated()) sink_ = std::move(lines);
      break;
    }
    case OutputFormat::Xlsx:
      sink_ = std::make_unique<XlsxSink>(path);
      break;
    case OutputFormat::Sqlite: {
      DatabaseSettings settings = part->settings;
      settings.path = path;
      sink_ = std::make_unique<SqlitePartSink>(std::move(settings), part->row);
      break;
    }
  }
}

size_t FormatSink::bufferBytes() const { return OutputBuffer::kDefaultCapacity; }

bool writesSideBySide(OutputFormat format) {
  return format == OutputFormat::Tsv || format == OutputFormat::Jsonl;
}

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
