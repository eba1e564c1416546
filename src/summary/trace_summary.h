// What a look into a trace tells: the file, its integrity and its events,
// gathered in one pass of a conversion for the text, JSON and HTML views.
// Texts that come from the trace or the command line are kept as they are
// here; each view escapes them for its own syntax.
#ifndef QNVTAB_SUMMARY_TRACE_SUMMARY_H_
#define QNVTAB_SUMMARY_TRACE_SUMMARY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "summary/event_stats.h"
#include "summary/trace_figures.h"
#include "trace/block_reader.h"
#include "trace/incident.h"
#include "trace/trace_footer.h"
#include "trace/trace_header.h"

namespace qnvtab {

// A stretch of the file that is not intact: [from, to).
enum class RegionKind { Repaired, Lost };
struct FileRegion {
  uint64_t from = 0;
  uint64_t to = 0;
  RegionKind kind = RegionKind::Lost;
};

// Regions recorded from the incidents of a salvage run, in file order. At
// most kMaxRegions are kept apart; beyond that the closest neighbours are
// joined, so the map stays small whatever the damage.
class DamageMap : public IncidentReporter {
 public:
  static constexpr size_t kMaxRegions = 256;
  explicit DamageMap(uint64_t fileSize) : fileSize_(fileSize) {}
  void report(const Incident& incident) override;
  const std::vector<FileRegion>& regions() const { return regions_; }

 private:
  void add(FileRegion region);
  uint64_t fileSize_;
  std::vector<FileRegion> regions_;
};

// The most bins a view shows of the time histogram.
constexpr size_t kShownBins = 120;

// A value of a port or session field and how many events carry it.
struct KeyFigures {
  uint16_t value = 0;
  EventCount count;
};
struct KeyRanking {
  uint32_t distinct = 0;           // values carried by at least one event
  std::vector<KeyFigures> busiest;  // by events, then by value
};
KeyRanking rankKey(const EventStats& stats, EventKey key, size_t top = 10);
const char* keyName(EventKey key);

// The command codes, or the return codes, that at least one event
// carries: the busiest first, then by code.
std::vector<uint8_t> busiestCommands(const EventStats& stats);
std::vector<uint8_t> busiestReturnCodes(const EventStats& stats);  // "PoIn", "LsnIn", "PoOut", "LsnOut"

// The Cmd cell's text of a code, without its quotes: the mnemonic, or two
// hexadecimal digits.
std::string commandText(uint8_t code);

// How a compressed trace came: its file's format and size.
struct InputPacking {
  std::string format;  // "gzip", "zstd", "xz"
  uint32_t members = 0;  // gzip members or zstd frames; 0 where not told apart
  uint64_t compressedBytes = 0;
  uint64_t decodedBytes = 0;
};
// "gzip, 2 members, 812,345,678 bytes → 2,029,311,956"
std::string packingText(const InputPacking& packing);

struct TraceSummary {
  std::string fileName;  // as given on the command line
  std::optional<InputPacking> packing;  // for a compressed trace
  std::string headerText;  // the header's text fields, printable
  TraceFigures figures;  // what every view of the trace shows alike
  uint64_t fileSize = 0;
  std::optional<HeaderRead> header;   // none when no header was recognised
  std::optional<TraceFooter> footer;  // when its checksum is right
  BlockTally blocks;                  // read, checked and expanded
  bool salvage = false;               // --salvage
  SalvageSummary salvaged;            // with salvage
  // Empty for a sound trace; else the fault that ended the run, or the
  // incidents of a salvage run and its closing line, as stderr shows them.
  std::vector<std::string> faults;
  std::vector<FileRegion> damage;      // in file order
  std::vector<std::string> selection;  // the selection options as typed
  const EventStats* events = nullptr;
};

// The header and footer of the file in `source`, as far as they read: the
// header also by its text alone, the footer only when it checks. For a
// trace whose conversion stopped before it had them.
void readContainerFacts(ByteSource& source, TraceSummary& summary);

// A date and time the header records, as "2008-05-19T10:00:00", with its
// GMT offset ("+01:00") on traces that record offsets, else empty.
struct HeaderMoment {
  const char* name;  // "start", "first_event", "end"
  std::string time;
  std::string gmtOffset;
};
// The start and end, and the first event on traces that record it.
std::vector<HeaderMoment> headerMoments(const HeaderRead& header);

// `part` in percent of `whole`; 0 of nothing.
inline double percentOf(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

// "2008-05-19T10:20:30.000": local time as the Date and Local Time cells
// place it, with the millisecond.
std::string isoText(EventTime time);

}  // namespace qnvtab

#endif  // QNVTAB_SUMMARY_TRACE_SUMMARY_H_
