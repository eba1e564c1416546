// What a run does at a fault. The header and footer readers and the block
// loop report every fault to one policy, which decides whether the run
// stops or goes on and how: StopAtFirstFault without --salvage, and
// SalvagePolicy (convert/salvage.h) with it. Nothing else in the run
// decides anything about a fault.
#ifndef QNVTAB_CONVERT_FAULT_POLICY_H_
#define QNVTAB_CONVERT_FAULT_POLICY_H_

#include <cstddef>
#include <cstdint>
#include <optional>

#include "convert/block_pipeline.h"
#include "events/event_framer.h"
#include "trace/block_reader.h"
#include "trace/byte_source.h"
#include "trace/trace_fault.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"

namespace qnvtab {

// The highest number a block may carry.
constexpr uint32_t kHighestBlockNumber = 0x7FFF;

// Where blocks may lie and how long they may be: from the footer, or the
// widest bounds when it cannot be trusted.
struct BlockBounds {
  uint64_t dataEnd = 0;
  uint16_t blockSize = 0xFFFF;
  uint32_t blockCount = kHighestBlockNumber;  // the highest number a block may have
};

enum class Recovery {
  Stop,                    // the fault ends the run
  EndOfData,               // no more blocks: the run ends without a fault
  Continue,                // read on from where the block reader now is
  RetryWhateverItsNumber,  // read the same block again, taking its number as right
};

enum class FramingPoint { AfterBlock, BeforeFault, EndOfData };

class FaultPolicy {
 public:
  virtual ~FaultPolicy() = default;

  // The header could not be read as it stands: the fault that ends the
  // run, or none when `header` now holds one to go on with.
  virtual std::optional<Fault> headerFault(const Fault& fault, ByteSource& source,
                                           HeaderRead& header) = 0;
  // The footer cannot be trusted: the fault that ends the run, or none
  // when `limits` and `bounds` now say where blocks are read.
  virtual std::optional<Fault> footerFault(const Fault& fault, const HeaderRead& header,
                                           const TraceFooter& footer, BlockLimits& limits,
                                           BlockBounds& bounds) = 0;
  // Before the first block.
  virtual void begin(const HeaderRead& header, const BlockBounds& bounds) = 0;
  // The blocks' worth of the event stream that the framer holds.
  virtual size_t blocksHeld() const = 0;

  // A block's fault. May move the block reader and drop bytes held by the
  // framer.
  virtual Recovery recover(const Fault& fault, BlockReader& blocks, EventFramer& framer) = 0;
  // An intact block was read and expanded.
  virtual void blockRead() = 0;
  // Before the records held are framed: after a block's bytes are in the
  // framer, before a fault is recovered from (its recovery may drop what
  // is held), or once the data has ended. False when they must not be
  // framed yet.
  virtual bool beforeFraming(EventFramer& framer, FramingPoint point) = 0;
  virtual void framed(const RecordRun& run) = 0;
};

// The first fault ends the run; rows before it stay.
class StopAtFirstFault : public FaultPolicy {
 public:
  std::optional<Fault> headerFault(const Fault& fault, ByteSource&, HeaderRead&) override {
    return fault;
  }
  std::optional<Fault> footerFault(const Fault& fault, const HeaderRead&, const TraceFooter&,
                                   BlockLimits&, BlockBounds&) override {
    return fault;
  }
  void begin(const HeaderRead&, const BlockBounds&) override {}
  // The carried start of a record and the next block's bytes.
  size_t blocksHeld() const override { return 2; }
  Recovery recover(const Fault&, BlockReader&, EventFramer&) override { return Recovery::Stop; }
  void blockRead() override {}
  bool beforeFraming(EventFramer&, FramingPoint) override { return true; }
  void framed(const RecordRun&) override {}
};

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_FAULT_POLICY_H_
