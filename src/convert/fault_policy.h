// What a run does at a fault of a block: the block loop reports every
// fault to a policy and goes on as the policy says.
#ifndef QNVTAB_CONVERT_FAULT_POLICY_H_
#define QNVTAB_CONVERT_FAULT_POLICY_H_

#include "events/event_framer.h"
#include "trace/block_reader.h"
#include "trace/trace_fault.h"

namespace qnvtab {

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
  // May move the block reader and drop bytes held by the framer.
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

// Today's rule: the first fault ends the run; rows before it stay.
class StopAtFirstFault : public FaultPolicy {
 public:
  Recovery recover(const Fault&, BlockReader&, EventFramer&) override { return Recovery::Stop; }
  void blockRead() override {}
  bool beforeFraming(EventFramer&, FramingPoint) override { return true; }
  void framed(const RecordRun&) override {}
};

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_FAULT_POLICY_H_
