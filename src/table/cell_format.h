// The cells of the output table. Every formatter writes one cell, without
// separator, at `out` and returns the position after it; the caller has
// reserved the room (see the *MaxSize constants). Text cells are quoted.
// Line ends are CR LF on every platform.
#ifndef QNVTAB_TABLE_CELL_FORMAT_H_
#define QNVTAB_TABLE_CELL_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "events/command_names.h"
#include "events/row_sink.h"

namespace qnvtab {

// Rendering of a payload dump: hexadecimal, ASCII (two characters per byte,
// aligned with the hexadecimal dump), or the one-character-per-byte column
// of the combined format.
enum class PayloadMode : int { Hex = 0, Ascii = 1, Characters = 2 };

// Space (32) to tilde (126).
constexpr bool isPrintable(uint8_t c) { return c >= 32 && c <= 126; }

inline char* writeTab(char* out) {
  *out = '\t';
  return out + 1;
}
inline char* writeLineEnd(char* out) {
  out[0] = '\r';
  out[1] = '\n';
  return out + 2;
}

char* writeHex8(char* out, uint32_t value);          // "xHH", quoted
char* writeHex16(char* out, uint32_t value);         // "xHHHH", quoted
char* writeEventNumber(char* out, int32_t number);   // signed decimal
char* writeMilliseconds(char* out, int32_t time);    // signed decimal
char* writeDecimal16(char* out, uint32_t value);     // low 16 bits, unsigned
char* writeLength(char* out, uint16_t value);        // unsigned decimal
char* writeAddress(char* out, uint32_t value);       // xHHHHHHHH, unquoted
char* writeCommand(char* out, uint32_t code);        // mnemonic or HH, quoted
char* writeIpLetter(char* out, uint32_t rc);         // "I" for 0xFF, else "P"

// The quoted dump of min(length, contentLength) data bytes, with " ..." when
// fewer bytes than `length` are shown. A quote byte shown as a character is
// doubled, so the cell stays one cell for spreadsheet and TSV readers.
char* writePayload(char* out, const uint8_t* bytes, uint32_t length, uint32_t contentLength,
                   PayloadMode mode);

// Room needed by writePayload for `shownBytes` bytes, one byte of slack
// included (the dump writes whole table entries and steps back).
constexpr size_t payloadMaxSize(size_t shownBytes) { return 2 + 4 * shownBytes + 4 + 1; }

// The widest text of each cell that is not a dump.
namespace cell_width {
constexpr size_t kEventNumber = 11;  // "-2147483648"
constexpr size_t kMilliseconds = 11;
constexpr size_t kDateAndTime = 13;  // "DDMMYY\tHHMMSS"
constexpr size_t kCommand = 4;       // "\"SD\""
constexpr size_t kIpLetter = 3;
constexpr size_t kHex8 = 5;          // "\"xHH\""
constexpr size_t kHex16 = 7;
constexpr size_t kDecimal16 = 5;     // "65535"
constexpr size_t kAddress = 9;       // "xHHHHHHHH"
}  // namespace cell_width

}  // namespace qnvtab

#endif  // QNVTAB_TABLE_CELL_FORMAT_H_
