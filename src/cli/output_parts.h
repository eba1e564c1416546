// The files of a table split into parts, after the output as given:
// NAME_2.EXT, NAME_3.EXT, ... Each is checked against the input like the
// output itself and holds the output's format; each is closed when the next one is
// made, and a failure names the part that failed.
#ifndef QNVTAB_CLI_OUTPUT_PARTS_H_
#define QNVTAB_CLI_OUTPUT_PARTS_H_

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "split/split_sink.h"
#include "cli/format_sink.h"
#include "parallel/worker_pool.h"

namespace qnvtab {

// The path of part `number` (from 2): "_<number>" before the last dot of
// the file name, or at its end when it has none ("OUT.XLS" -> "OUT_2.XLS",
// "logs.d/out" -> "logs.d/out_2").
std::string partPath(const std::string& outputPath, uint32_t number);

class OutputParts : public PartFactory {
 public:
  // Parts are of `format`; tables format their rows on `workers` when
  // given; database parts are made from `databasePart`.
  OutputParts(OutputFormat format, std::string outputPath, const struct stat& input,
              WorkerPool* workers, const DatabasePart* databasePart = nullptr)
      : format_(format),
        outputPath_(std::move(outputPath)),
        input_(input),
        workers_(workers),
        databasePart_(databasePart) {}

  RowSink* makePart(uint32_t number) override;
  // Closes the last part; false when it or one before it failed.
  bool close();

  // What the parts' readers should know of them, counted over the parts.
  const std::vector<OutputWarning>& warnings() const { return warnings_; }
  // The parts made, in order.
  const std::vector<std::string>& paths() const { return paths_; }
  // The diagnosis of the part that failed ("OUT_2.XLS: cannot open: ..."),
  // empty when none did.
  const std::string& failure() const { return failure_; }

 private:
  bool closeCurrent();

  OutputFormat format_;
  std::string outputPath_;
  struct stat input_;
  WorkerPool* workers_;
  const DatabasePart* databasePart_;
  std::vector<std::string> paths_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<FormatSink> sink_;
  std::string failure_;
  std::vector<OutputWarning> warnings_;
};

}  // namespace qnvtab

#endif  // QNVTAB_CLI_OUTPUT_PARTS_H_
