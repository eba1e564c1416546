// JSON text written straight into an output buffer, for the outputs that
// write millions of small objects: strings of any bytes, which always come
// out as valid UTF-8, and the largest size they may take.
#ifndef QNVTAB_JSONL_JSON_TEXT_H_
#define QNVTAB_JSONL_JSON_TEXT_H_

#include <cstddef>
#include <string_view>

namespace qnvtab {

// The most characters writeJsonString() writes for `size` bytes.
constexpr size_t maxJsonStringSize(size_t size) { return 2 + 6 * size; }

// Writes `text` as the inside of a JSON string, without the quotes, and
// returns the end: at most 6 characters a byte.
char* writeJsonEscaped(char* out, std::string_view text);

// Writes `text` as a quoted JSON string and returns the end. Each byte is
// one character: a quote and a backslash escaped, a control byte and every
// byte from 0x80 on written as \u00XX, so a reader gets back each byte as
// the code point of the same value, and the text is plain ASCII.
char* writeJsonString(char* out, std::string_view text);

}  // namespace qnvtab

#endif  // QNVTAB_JSONL_JSON_TEXT_H_
