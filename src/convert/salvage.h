// Salvage: a fault policy that goes on past damage. It repairs what the
// next block confirms, skips what it cannot read, finds the next block and
// the next record boundary again, and reports every incident with what it
// cost. It writes nothing that a block failing its checks holds.
#ifndef QNVTAB_CONVERT_SALVAGE_H_
#define QNVTAB_CONVERT_SALVAGE_H_

#include <cstdint>
#include <optional>

#include "convert/fault_policy.h"
#include "events/record_resync.h"
#include "trace/block_scanner.h"
#include "trace/byte_source.h"
#include "trace/incident.h"

namespace qnvtab {

// Whether a salvage run may find intact blocks past `kind`: for the hint
// after a plain run fails.
bool salvageMayPass(FaultKind kind);

// The blocks' worth of the stream that salvage holds: the records judged
// after a gap may span several blocks, with room for the next one behind.
constexpr size_t kSalvageBlocksHeld = 8;

class SalvagePolicy : public FaultPolicy {
 public:
  // Reports every incident to `reporter` and counts it in `summary`.
  SalvagePolicy(ByteSource& source, IncidentReporter& reporter, SalvageSummary& summary);

  // The header by its text alone, when something confirms the layout it
  // names; the footer ignored, blocks read up to the end of the file.
  std::optional<Fault> headerFault(const Fault& fault, ByteSource& source,
                                   HeaderRead& header) override;
  std::optional<Fault> footerFault(const Fault& fault, const HeaderRead& header,
                                   const TraceFooter& footer, BlockLimits& limits,
                                   BlockBounds& bounds) override;
  void begin(const HeaderRead& header, const BlockBounds& bounds) override;
  size_t blocksHeld() const override { return kSalvageBlocksHeld; }

  Recovery recover(const Fault& fault, BlockReader& blocks, EventFramer& framer) override;
  void blockRead() override;
  bool beforeFraming(EventFramer& framer, FramingPoint point) override;
  void framed(const RecordRun& run) override;

 private:
  BlockSearch searchFrom(uint64_t from) const;
  // A block numbered `number` checks at `end`, or the data ends there.
  bool confirmedAfter(uint64_t end, uint32_t number);
  std::optional<FoundBlock> blockAlongLengths(uint64_t at, uint32_t number);
  Recovery skipDamage(const Fault& fault, BlockReader& blocks, EventFramer& framer);
  void endTornTail(const Fault& fault, EventFramer& framer);
  void beginGap(const Fault& cause, uint64_t to, uint32_t lastLost, EventFramer& framer);
  void endGap();
  void account(const Incident& incident);

  ByteSource& source_;
  IncidentReporter& reporter_;
  BlockBounds bounds_;
  const layout::EventHeadLayout* head_ = nullptr;
  std::optional<uint32_t> firstEventStamp_;
  SalvageSummary& summary_;
  RecordHealth health_;
  BoundaryFinder boundaries_;
  std::optional<Incident> gap_;  // until the stream has found its next record
  bool damageBeforeMore_ = false;  // damage met since the last intact block
};

}  // namespace qnvtab

#endif  // QNVTAB_CONVERT_SALVAGE_H_
