#include "cli/output_parts.h"

#include <cerrno>
#include <filesystem>

#include "cli/diagnosis.h"
#include "cli/printable_name.h"

namespace qnvtab {

std::string partPath(const std::string& outputPath, uint32_t number) {
  // A leading dot belongs to the name: ".table" becomes ".table_2".
  std::filesystem::path path(outputPath);
  const std::string suffix = "_" + std::to_string(number);
  path.replace_filename(path.stem().string() + suffix + path.extension().string());
  return path.string();
}

bool OutputParts::closeCurrent() {
  if (sink_ != nullptr && sink_->sink() != nullptr) {
    const RowSink& part = *sink_->sink();
    mergeWarnings(warnings_, part.warnings());
    // A sink that failed knows why better than the file: a library may
    // have written it.
    if (failure_.empty() && part.failed()) {
      failure_ = printableName(paths_.back()) + ": cannot write: " + part.failureReason();
    }
  }
  sink_.reset();
  if (file_ == nullptr) return failure_.empty();
  const bool closed = file_->close();
  if (failure_.empty() && (!closed || file_->lastError() != 0)) {
    failure_ = printableName(paths_.back()) + ": cannot write: " + systemReason(file_->lastError());
  }
  file_.reset();
  return failure_.empty();
}

RowSink* OutputParts::makePart(uint32_t number) {
  if (!closeCurrent()) return nullptr;
  const std::string path = partPath(outputPath_, number);
  auto file = std::make_unique<OutputFile>();
  if (!file->open(path, input_)) {
    failure_ = printableName(path) + ": cannot open: " + file->openFailureReason();
    return nullptr;
  }
  paths_.push_back(path);
  file_ = std::move(file);
  sink_ = std::make_unique<FormatSink>(format_, path, *file_, workers_, databasePart_);
  if (sink_->sink() == nullptr) {
    failure_ = printableName(path) + ": cannot write: " + systemReason(ENOMEM);
    return nullptr;
  }
  return sink_->sink();
}

bool OutputParts::close() { return closeCurrent(); }

}  // namespace qnvtab
