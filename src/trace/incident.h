// What salvage reports of a damaged trace, as values: each incident with
// the fault met, the bytes and blocks it cost, and the summary of a
// salvage run. The container's readers and the salvage policy fill them;
// the console, the summary and the database only read them.
#ifndef QNVTAB_TRACE_INCIDENT_H_
#define QNVTAB_TRACE_INCIDENT_H_

#include <cstdint>

#include "trace/trace_fault.h"

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

}  // namespace qnvtab

#endif  // QNVTAB_TRACE_INCIDENT_H_
