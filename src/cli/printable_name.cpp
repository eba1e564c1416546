#include "cli/printable_name.h"

#include <cstdint>

namespace qnvtab {
namespace {

bool isContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the front of `text`, or 0
// for a byte that starts none (a stray continuation, an overlong form, a
// surrogate, beyond U+10FFFF, or cut short).
size_t utf8SequenceLength(std::string_view text) {
  const uint8_t lead = static_cast<uint8_t>(text[0]);
  size_t length = 0;
  uint8_t secondLow = 0x80;
  uint8_t secondHigh = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  const uint8_t second = static_cast<uint8_t>(text[1]);
  if (second < secondLow || second > secondHigh) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!isContinuation(static_cast<uint8_t>(text[i]))) return 0;
  }
  return length;
}

// U+0080 to U+009F: the C1 controls, which terminals may obey.
bool isC1Control(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<uint8_t>(sequence[0]) == 0xC2 &&
         static_cast<uint8_t>(sequence[1]) <= 0x9F;
}

void appendEscaped(uint8_t byte, std::string& out) {
  static const char kDigits[] = "0123456789ABCDEF";
  switch (byte) {
    case '\n':
      out += "\\n";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\r':
      out += "\\r";
      return;
    default:
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
  }
}

}  // namespace

std::string printableName(std::string_view name) {
  if (name.empty()) return "''";
  std::string out;
  out.reserve(name.size());
  while (!name.empty()) {
    const size_t length = utf8SequenceLength(name);
    const std::string_view sequence = name.substr(0, length);
    const uint8_t lead = static_cast<uint8_t>(name[0]);
    if (length == 0 || lead < 0x20 || lead == 0x7F || isC1Control(sequence)) {
      for (size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
        appendEscaped(static_cast<uint8_t>(name[i]), out);
      }
    } else if (lead == '\\') {
      out += "\\\\";
    } else {
      out += sequence;
    }
    name.remove_prefix(length == 0 ? 1 : length);
  }
  return out;
}

}  // namespace qnvtab
