// One conversion, from the header check to the last row: the block loop
// that reads, checks and expands every block and writes the rows of the
// events it completes. Knows nothing of the console or of file names.
#ifndef QNVTAB_DRIVER_CONVERSION_H_
#define QNVTAB_DRIVER_CONVERSION_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/options.h"
#include "table/output_buffer.h"

namespace qnvtab {

enum class ConversionStatus {
  Converted,
  InputFault,  // the first fault of the input ended the run
  WriteFault,  // the output could not be written
};

struct ConversionReport {
  ConversionStatus status = ConversionStatus::Converted;
  // -th or -ferts asked for on a trace older than version 7.
  bool optionsSwitchedOff = false;
  // For an input fault: what was wrong and where.
  std::string fault;
  int32_t events = 0;
  // Bytes of an incomplete last event left when the blocks ran out.
  uint32_t droppedBytes = 0;
};

// Observes a conversion block by block, e.g. to show progress.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // `blockBytes` of the footer's `dataLength` have been read, header
  // included, and `events` rows written.
  virtual void blockConverted(uint64_t blockBytes, uint32_t dataLength, int32_t events) = 0;
};

// Converts the trace in `input` (positioned anywhere) into `out`, which is
// flushed before returning; rows written before a fault stay.
ConversionReport convertTrace(std::FILE* input, const Options& options, OutputBuffer& out,
                              ConversionObserver* observer = nullptr);

}  // namespace qnvtab

#endif  // QNVTAB_DRIVER_CONVERSION_H_
