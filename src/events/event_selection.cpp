#include "events/event_selection.h"

#include <charconv>
#include <string>
#include <tuple>

#include "events/calendar.h"
#include "events/command_names.h"

namespace qnvtab {
namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal int32 spanning the whole of `text`: digits, with a leading
// minus sign when `signedValue`.
std::optional<int32_t> parseWhole(std::string_view text, bool signedValue) {
  if (text.empty() || (!signedValue && !isDigit(text.front()))) return std::nullopt;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "FROM-TO". A leading minus sign before a digit belongs to FROM; the
// separator is the first minus sign after it.
std::optional<NumberRange> parseRange(std::string_view text, bool signedValues) {
  const size_t fromStart = signedValues && text.size() > 1 && text[0] == '-' && isDigit(text[1]);
  const size_t separator = text.find('-', fromStart);
  if (separator == std::string_view::npos) return std::nullopt;
  NumberRange range;
  const std::string_view from = text.substr(0, separator);
  const std::string_view to = text.substr(separator + 1);
  if (!from.empty() && !(range.from = parseWhole(from, signedValues))) return std::nullopt;
  if (!to.empty() && !(range.to = parseWhole(to, signedValues))) return std::nullopt;
  return range;
}

// Exactly two digits at `text[at]`, within [low, high].
bool twoDigits(std::string_view text, size_t at, unsigned low, unsigned high, unsigned& value) {
  if (at + 2 > text.size() || !isDigit(text[at]) || !isDigit(text[at + 1])) return false;
  value = static_cast<unsigned>(text[at] - '0') * 10 + static_cast<unsigned>(text[at + 1] - '0');
  return value >= low && value <= high;
}

// "HH:MM:SS" and nothing more.
std::optional<TraceTime> parseClock(std::string_view text) {
  TraceTime time{};
  if (text.size() != 8 || text[2] != ':' || text[5] != ':' ||
      !twoDigits(text, 0, 0, 23, time.hour) || !twoDigits(text, 3, 0, 59, time.minute) ||
      !twoDigits(text, 6, 0, 59, time.second)) {
    return std::nullopt;
  }
  return time;
}

// A day that the event clock can show.
bool isShownDay(TraceDate date) {
  return date.year >= kEpochYear && date.year <= 2115 &&
         date.day <= daysInMonth(date.year, date.month);
}

// Four digits at `text[at]`.
bool fourDigits(std::string_view text, size_t at, unsigned& value) {
  unsigned high = 0;
  unsigned low = 0;
  if (!twoDigits(text, at, 0, 99, high) || !twoDigits(text, at + 2, 0, 99, low)) return false;
  value = high * 100 + low;
  return true;
}

// "DD/MM/YYYY" of a day that the event clock can show.
std::optional<TraceDate> parseDate(std::string_view text) {
  TraceDate date{};
  unsigned year = 0;
  if (text.size() != 10 || text[2] != '/' || text[5] != '/' ||
      !twoDigits(text, 0, 1, 31, date.day) || !twoDigits(text, 3, 1, 12, date.month) ||
      !fourDigits(text, 6, year)) {
    return std::nullopt;
  }
  date.year = year;
  return isShownDay(date) ? std::optional(date) : std::nullopt;
}

// "YYYY-MM-DD" of a day that the event clock can show.
std::optional<TraceDate> parseIsoDate(std::string_view text) {
  TraceDate date{};
  unsigned year = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !fourDigits(text, 0, year) ||
      !twoDigits(text, 5, 1, 12, date.month) || !twoDigits(text, 8, 1, 31, date.day)) {
    return std::nullopt;
  }
  date.year = year;
  return isShownDay(date) ? std::optional(date) : std::nullopt;
}

// ".d", ".dd" or ".ddd": the milliseconds of a decimal fraction of a second.
std::optional<uint32_t> parseFraction(std::string_view text) {
  if (text.size() < 2 || text.size() > 4 || text[0] != '.') return std::nullopt;
  uint32_t millisecond = 0;
  for (size_t i = 1; i < 4; ++i) {
    if (i < text.size() && !isDigit(text[i])) return std::nullopt;
    millisecond = millisecond * 10 + (i < text.size() ? static_cast<uint32_t>(text[i] - '0') : 0);
  }
  return millisecond;
}

// "YYYY-MM-DDTHH:MM:SS" or with a blank for the T, and a fraction or not.
std::optional<WindowTime> parseIsoWindowTime(std::string_view text) {
  WindowTime window;
  if (text.size() < 19 || (text[10] != 'T' && text[10] != ' ') ||
      !(window.date = parseIsoDate(text.substr(0, 10)))) {
    return std::nullopt;
  }
  const std::optional<TraceTime> time = parseClock(text.substr(11, 8));
  if (!time || (text.size() > 19 && !(window.millisecond = parseFraction(text.substr(19))))) {
    return std::nullopt;
  }
  window.time = *time;
  return window;
}

int hexDigit(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The codes that one item of a command list stands for; none when the
// item is neither a mnemonic nor two hexadecimal digits. Codes without a
// mnemonic show their two digits, so those are covered by the digits.
CommandSet commandsOf(std::string_view item) {
  CommandSet codes;
  if (item.size() != 2) return codes;
  const char first = upperAscii(item[0]);
  const char second = upperAscii(item[1]);
  if (hexDigit(first) >= 0 && hexDigit(second) >= 0) {
    codes.set(static_cast<size_t>(hexDigit(first) * 16 + hexDigit(second)));
  }
  for (const CommandNameEntry& entry : CommandNames) {
    if (entry.mnemonic[0] == first && entry.mnemonic[1] == second) codes.set(entry.code);
  }
  return codes;
}

bool rangeIsOrdered(const std::optional<NumberRange>& range) {
  return !range || !range->from || !range->to || *range->from <= *range->to;
}

}  // namespace

std::optional<NumberRange> parseEventRange(std::string_view text) {
  return parseRange(text, false);
}

std::optional<NumberRange> parseMsecRange(std::string_view text) { return parseRange(text, true); }

std::optional<WindowTime> parseWindowTime(std::string_view text) {
  if (text.size() > 4 && text[4] == '-') return parseIsoWindowTime(text);
  WindowTime window;
  if (text.size() > 8) {
    if (text.size() != 19 || text[10] != ' ' || !(window.date = parseDate(text.substr(0, 10)))) {
      return std::nullopt;
    }
    text = text.substr(11);
  }
  const std::optional<TraceTime> time = parseClock(text);
  if (!time) return std::nullopt;
  window.time = *time;
  return window;
}

std::optional<CommandSet> parseCommandList(std::string_view text) {
  CommandSet codes;
  for (;;) {
    const size_t comma = text.find(',');
    const CommandSet item = commandsOf(text.substr(0, comma));
    if (item.none()) return std::nullopt;
    codes |= item;
    if (comma == std::string_view::npos) return codes;
    text = text.substr(comma + 1);
  }
}

bool isSatisfiable(const EventSelection& selection) {
  if (!rangeIsOrdered(selection.events) || !rangeIsOrdered(selection.msec)) return false;
  const std::optional<WindowTime>& begin = selection.begin;
  const std::optional<WindowTime>& end = selection.end;
  if (!begin || !end || begin->date.has_value() != end->date.has_value()) return true;
  // A bound without a millisecond stands for its whole second.
  const auto key = [](const WindowTime& t, uint32_t millisecond) {
    const TraceDate date = t.date.value_or(TraceDate{});
    return std::make_tuple(date.year, date.month, date.day, t.time.hour, t.time.minute,
                           t.time.second, t.millisecond.value_or(millisecond));
  };
  return key(*begin, 0) <= key(*end, 999);
}

}  // namespace qnvtab
