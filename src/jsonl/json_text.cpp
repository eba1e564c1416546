#include "jsonl/json_text.h"

#include <array>
#include <cstring>

namespace qnvtab {
namespace {

// The bytes written as they are: printable ASCII but the quote and the
// backslash.
constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte < 0x80; ++byte) plain[byte] = byte != '"' && byte != '\\';
  return plain;
}();

}  // namespace

char* writeJsonEscaped(char* out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    // Dumps are mostly plain characters: they are copied in runs.
    const char* run = at;
    while (run < end && kPlain[static_cast<unsigned char>(*run)]) ++run;
    std::memcpy(out, at, static_cast<size_t>(run - at));
    out += run - at;
    if (run == end) break;
    const auto byte = static_cast<unsigned char>(*run);
    at = run + 1;
    if (byte == '"' || byte == '\\') {
      *out++ = '\\';
      *out++ = static_cast<char>(byte);
      continue;
    }
    out[0] = '\\';
    out[1] = 'u';
    out[2] = '0';
    out[3] = '0';
    out[4] = kHex[byte >> 4];
    out[5] = kHex[byte & 0xF];
    out += 6;
  }
  return out;
}

char* writeJsonString(char* out, std::string_view text) {
  *out++ = '"';
  out = writeJsonEscaped(out, text);
  *out++ = '"';
  return out;
}

}  // namespace qnvtab
