#include "cli/trace_list.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "cli/diagnosis.h"
#include "cli/printable_name.h"

namespace qnvtab {
namespace {

// Appends the non-blank lines of the file at `path` ("-": standard input).
std::optional<std::string> readList(const std::string& path, std::vector<std::string>& lines) {
  std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return printableName(path) + ": cannot open: " + systemReason(errno);
  std::string line;
  int c;
  while ((c = std::getc(file)) != EOF) {
    if (c != '\n') {
      line += static_cast<char>(c);
    } else {
      // A list written with CR LF line ends reads the same.
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  if (file != stdin) std::fclose(file);
  if (failed) return printableName(path) + ": cannot read: " + systemReason(error);
  return std::nullopt;
}

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileIdOf(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{info.st_dev, info.st_ino};
}

}  // namespace

std::string folderOutputPath(const std::string& folder, const std::string& input,
                             OutputFormat format) {
  const std::string name = std::filesystem::path(input).stem().string();
  return (std::filesystem::path(folder) / name).string() + (format == OutputFormat::Xlsx ? ".xlsx"
                                                            : format == OutputFormat::Jsonl
                                                                ? ".jsonl"
                                                                : ".xls");
}

std::optional<std::string> listTraces(const Options& options, TraceList& traces) {
  if (!options.inputsList.empty()) {
    if (auto failure = readList(options.inputsList, traces.inputs)) return failure;
  }
  traces.inputs.insert(traces.inputs.end(), options.tracePaths.begin(), options.tracePaths.end());
  const bool folder =
      options.writesTable && options.format != OutputFormat::Sqlite && !options.outputToStdout;
  std::map<std::string, const std::string*> makers;  // output: the first input making it
  for (const std::string& input : traces.inputs) {
    if (!options.writesTable) {
      traces.outputs.emplace_back();
    } else if (!folder) {
      traces.outputs.push_back(options.outputPath);
    } else {
      const std::string output = folderOutputPath(options.outputPath, input, options.format);
      const auto [made, first] = makers.emplace(output, &input);
      if (!first) {
        return printableName(*made->second) + " and " + printableName(input) +
               " would both be written to " + printableName(output) + "; rename one";
      }
      traces.outputs.push_back(output);
    }
  }
  if (!options.writesTable) return std::nullopt;
  std::set<FileId> inputs;
  for (const std::string& input : traces.inputs) {
    if (const auto id = fileIdOf(input)) inputs.insert(*id);
  }
  for (const std::string& output : traces.outputs) {
    const auto id = fileIdOf(output);
    if (id && inputs.count(*id) > 0) {
      return printableName(output) + ": cannot open: the output is one of the traces";
    }
  }
  std::error_code error;
  if (folder) std::filesystem::create_directories(options.outputPath, error);
  if (error) return printableName(options.outputPath) + ": cannot open: " + error.message();
  return std::nullopt;
}

}  // namespace qnvtab
