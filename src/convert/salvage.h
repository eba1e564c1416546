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

namespace qnvtab {

enum class IncidentKind {
  UnverifiedHeader,  // checksum wrong; taken by its text and a block after it
  FooterIgnored,     // checksum wrong or disagreeing with the file
  NumberRepaired,    // a block whose number alone was wrong, kept
  BytesSkipped,      // bytes between two blocks that follow each other
  BlocksLost,        // a gap inside the data
  TornTail,          // the end of the file holds no further block
};

struct Incident {
  IncidentKind kind = IncidentKind::BlocksLost;
  Fault cause;                // the fault met (for the header: its layout size in `found`)
  uint64_t from = 0;          // file bytes skipped: [from, to)
  uint64_t to = 0;
  uint32_t firstLostBlock = 0;  // 0: none known
  uint32_t lastLostBlock = 0;
  uint64_t droppedStreamBytes = 0;  // event-stream bytes dropped around the gap
  int32_t afterEvent = 0;           // the last event written before it
  uint32_t confirmingBlock = 0;     // UnverifiedHeader: the block that checks after it, 0: none
};

class IncidentReporter {
 public:
  virtual ~IncidentReporter() = default;
  virtual void report(const Incident& incident) = 0;
};

struct SalvageSummary {
  uint32_t blocksRead = 0;
  uint32_t blocksLost = 0;
  uint64_t bytesSkipped = 0;
  uint64_t fileSize = 0;
  uint64_t streamBytesRead = 0;  // expanded from intact blocks
  uint64_t streamBytesLost = 0;  // dropped around gaps
  uint32_t gaps = 0;             // places where at least one event was lost
  bool interiorDamage = false;   // damage before the end of the file
  bool endDamage = false;        // a torn tail or an ignored footer
  bool footerChecks = false;     // the file ends in a footer whose checksum is right
};

enum class DamageFound { None, AtEnd, Inside };

// Where the damage lies. A file that ends in a footer whose checksum is
// right was finished by its writer, so whatever is wrong in it lies inside,
// even where the data length disagrees with the file. Otherwise damage at
// the end alone means a file cut short, or a footer lost, after intact data.
DamageFound damageFound(const SalvageSummary& summary);

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
