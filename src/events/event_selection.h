// Which events a run keeps: the criteria of --events, --msec, --begin,
// --end, --cmd and --errors, and the readers of their values. Every range
// includes both of its ends; the criteria given must all hold.
#ifndef QNVTAB_EVENTS_EVENT_SELECTION_H_
#define QNVTAB_EVENTS_EVENT_SELECTION_H_

#include <bitset>
#include <cstdint>
#include <optional>
#include <string_view>

#include "trace/trace_header.h"

namespace qnvtab {

// A bound of a time window as typed: "DD/MM/YYYY HH:MM:SS", or the time
// alone, which means that time on the day of the trace's first event, or
// ISO 8601 "YYYY-MM-DDTHH:MM:SS[.mmm]". Without a millisecond a bound
// stands for its whole second.
struct WindowTime {
  std::optional<TraceDate> date;
  TraceTime time{};
  std::optional<uint32_t> millisecond;  // 0 to 999, given as a fraction
};

// Both ends included; an end left open is absent.
struct NumberRange {
  std::optional<int32_t> from;
  std::optional<int32_t> to;

  bool contains(int32_t value) const { return (!from || value >= *from) && (!to || value <= *to); }
};

using CommandSet = std::bitset<256>;

struct EventSelection {
  std::optional<NumberRange> events;  // Event numbers of the trace
  std::optional<NumberRange> msec;    // the Time (msec) cell as printed
  std::optional<WindowTime> begin;    // the event's time, to the second or ms
  std::optional<WindowTime> end;
  std::optional<CommandSet> commands;  // codes whose events are kept
  bool errorsOnly = false;             // RC 0xFF

  // True when every event is kept.
  bool keepsAll() const { return !events && !msec && !begin && !end && !commands && !errorsOnly; }
};

// "FIRST-LAST" of event numbers (from 0); either end may be left out.
std::optional<NumberRange> parseEventRange(std::string_view text);
// "FROM-TO" of milliseconds, each end signed or left out: "-500--100",
// "--100" (up to -100), "250-".
std::optional<NumberRange> parseMsecRange(std::string_view text);
// "DD/MM/YYYY HH:MM:SS", "HH:MM:SS", or "YYYY-MM-DDTHH:MM:SS" with a blank
// or a T between date and time and an optional fraction of one to three
// digits (".5" is 500 ms), with a date of 1980 to 2115.
std::optional<WindowTime> parseWindowTime(std::string_view text);
// Comma-separated commands, each a mnemonic or two hexadecimal digits, in
// any case. An item stands for every code whose Cmd cell shows it, and two
// hexadecimal digits also for the code they spell: "14" and "SD" both keep
// the SEND events, "DB" keeps code 0x65 (DEBUG) and code 0xDB.
std::optional<CommandSet> parseCommandList(std::string_view text);

// False when the selection can keep no event whatever the trace: a range
// or a window whose start lies past its end, known from the text alone.
bool isSatisfiable(const EventSelection& selection);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_EVENT_SELECTION_H_
