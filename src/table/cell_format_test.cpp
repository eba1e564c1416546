#include "table/cell_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace qnvtab {
namespace {

constexpr size_t kCanvasSize = 4096;
constexpr char kUntouched = '#';

// Runs one formatter on a canvas of marker bytes and returns the cell it
// reports; `room` is the most it may touch, slack included.
template <typename Write>
std::string cell(Write write, size_t room = 64) {
  std::vector<char> canvas(kCanvasSize, kUntouched);
  char* end = write(canvas.data());
  size_t touched = kCanvasSize;
  while (touched > 0 && canvas[touched - 1] == kUntouched) --touched;
  EXPECT_LE(touched, room) << "wrote past the room it asked for";
  EXPECT_LE(static_cast<size_t>(end - canvas.data()), touched);
  return std::string(canvas.data(), end);
}

std::string payload(const std::vector<uint8_t>& bytes, uint32_t length, PayloadMode mode) {
  const uint32_t content = static_cast<uint32_t>(bytes.size());
  const size_t shown = length < content ? length : content;
  return cell([&](char* out) { return writePayload(out, bytes.data(), length, content, mode); },
              payloadMaxSize(shown));
}

std::string payload(const std::vector<uint8_t>& bytes, PayloadMode mode) {
  return payload(bytes, static_cast<uint32_t>(bytes.size()), mode);
}

// The dump as a reader of the table expects it, built the plain way.
std::string referenceDump(const std::vector<uint8_t>& bytes, uint32_t length, PayloadMode mode) {
  std::string text = "\"";
  const size_t shown = length < bytes.size() ? length : bytes.size();
  for (size_t i = 0; i < shown; ++i) {
    const uint8_t b = bytes[i];
    if (i > 0) text += ' ';
    const bool printable = b >= 0x20 && b <= 0x7E;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", b);
    if (mode == PayloadMode::Hex) {
      text += hex;
    } else if (mode == PayloadMode::Ascii) {
      text += printable ? (b == '"' ? std::string(" \"\"") : std::string(" ") + char(b)) : hex;
    } else {
      text += printable ? (b == '"' ? std::string("\"\"") : std::string(1, char(b))) : ".";
    }
  }
  if (shown < length) text += " ...";
  return text + "\"";
}


TEST(CellFormat, HexCellsAreQuotedUpperCaseAndFixedWidth) {
  EXPECT_EQ(cell([](char* o) { return writeHex8(o, 0x00); }), "\"x00\"");
  EXPECT_EQ(cell([](char* o) { return writeHex8(o, 0x0A); }), "\"x0A\"");
  EXPECT_EQ(cell([](char* o) { return writeHex8(o, 0xFF); }), "\"xFF\"");
  EXPECT_EQ(cell([](char* o) { return writeHex8(o, 0x1AB); }), "\"xAB\"");  // low 8 bits
  EXPECT_EQ(cell([](char* o) { return writeHex16(o, 0x12); }), "\"x0012\"");
  EXPECT_EQ(cell([](char* o) { return writeHex16(o, 0xBEEF); }), "\"xBEEF\"");
  EXPECT_EQ(cell([](char* o) { return writeHex16(o, 0xABCDE); }), "\"xBCDE\"");  // low 16 bits
  // The address is the one hexadecimal cell without quotes.
  EXPECT_EQ(cell([](char* o) { return writeAddress(o, 0x2C00); }), "x00002C00");
  EXPECT_EQ(cell([](char* o) { return writeAddress(o, 0); }), "x00000000");
  EXPECT_EQ(cell([](char* o) { return writeAddress(o, 0xDEADBEEF); }), "xDEADBEEF");
}

TEST(CellFormat, NumbersAreUnquotedDecimal) {
  EXPECT_EQ(cell([](char* o) { return writeEventNumber(o, 7); }), "7");
  EXPECT_EQ(cell([](char* o) { return writeEventNumber(o, 2147483647); }), "2147483647");
  EXPECT_EQ(cell([](char* o) { return writeEventNumber(o, -2147483647 - 1); }), "-2147483648");
  EXPECT_EQ(cell([](char* o) { return writeMilliseconds(o, 0); }), "0");
  EXPECT_EQ(cell([](char* o) { return writeMilliseconds(o, -1); }), "-1");
  EXPECT_EQ(cell([](char* o) { return writeMilliseconds(o, 5000); }), "5000");
  EXPECT_EQ(cell([](char* o) { return writeDecimal16(o, 3); }), "3");
  EXPECT_EQ(cell([](char* o) { return writeDecimal16(o, 65535); }), "65535");
  EXPECT_EQ(cell([](char* o) { return writeDecimal16(o, 0x12345); }), "9029");  // low 16 bits
  EXPECT_EQ(cell([](char* o) { return writeLength(o, 0); }), "0");
  EXPECT_EQ(cell([](char* o) { return writeLength(o, 65535); }), "65535");
}

TEST(CellFormat, CommandCell) {
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x10); }), "\"CL\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x14); }), "\"SD\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x72); }), "\"ER\"");
  // Codes without a mnemonic: two upper-case hexadecimal digits.
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x33); }), "\"33\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x00); }), "\"00\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x0A); }), "\"0A\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0xFF); }), "\"FF\"");
  EXPECT_EQ(cell([](char* o) { return writeCommand(o, 0x7B); }), "\"7B\"");
  for (const CommandNameEntry& entry : CommandNames) {
    EXPECT_EQ(cell([&](char* o) { return writeCommand(o, entry.code); }),
              std::string("\"") + entry.mnemonic + "\"");
  }
}

TEST(CellFormat, CommandTable) {
  std::set<uint8_t> codes;
  for (const CommandNameEntry& entry : CommandNames) {
    codes.insert(entry.code);
    EXPECT_EQ(std::strlen(entry.mnemonic), 2u);
    EXPECT_TRUE(entry.mnemonic[0] >= 'A' && entry.mnemonic[0] <= 'Z');
    EXPECT_TRUE(entry.mnemonic[1] >= 'A' && entry.mnemonic[1] <= 'Z');
    EXPECT_NE(entry.fullName, nullptr);
  }
  EXPECT_EQ(codes.size(), kCommandNameCount);
  const std::pair<uint8_t, const char*> expected[] = {
      {0x01, "PC"}, {0x02, "PH"}, {0x10, "CL"}, {0x11, "LI"}, {0x12, "HG"}, {0x14, "SD"},
      {0x15, "RV"}, {0x35, "CN"}, {0x60, "DG"}, {0x62, "ST"}, {0x64, "MT"}, {0x65, "DB"},
      {0x68, "TS"}, {0x70, "GE"}, {0x71, "PE"}, {0x72, "ER"},
  };
  for (const auto& [code, mnemonic] : expected) {
    ASSERT_NE(commandMnemonic(code), nullptr) << int(code);
    EXPECT_STREQ(commandMnemonic(code), mnemonic);
  }
  EXPECT_STREQ(commandMnemonic(0x135), "CN");  // compared on the low 8 bits
  EXPECT_EQ(commandMnemonic(0x33), nullptr);
  EXPECT_EQ(commandMnemonic(0x00), nullptr);
  EXPECT_EQ(commandMnemonic(0x13), nullptr);
}

TEST(CellFormat, FindCodeEntryTakesTheFirstMatchWithinCount) {
  struct Row {
    uint8_t code;
    int id;
  };
  const Row rows[] = {{0x10, 1}, {0x20, 2}, {0x10, 3}, {0x30, 4}};
  ASSERT_NE(findCodeEntry(0x10, rows, 4), nullptr);
  EXPECT_EQ(findCodeEntry(0x10, rows, 4)->id, 1);
  EXPECT_EQ(findCodeEntry(0x110, rows, 4)->id, 1);
  EXPECT_EQ(findCodeEntry(0xFFFFFF30u, rows, 4)->id, 4);
  EXPECT_EQ(findCodeEntry(0x30, rows, 3), nullptr);  // beyond `count`
  EXPECT_EQ(findCodeEntry(0x40, rows, 4), nullptr);
  EXPECT_EQ(findCodeEntry(0x10, rows, 0), nullptr);
  EXPECT_EQ(findCodeEntry(0x10, static_cast<const Row*>(nullptr), 4), nullptr);
}

TEST(CellFormat, IpLetter) {
  EXPECT_EQ(cell([](char* o) { return writeIpLetter(o, 0xFF); }), "\"I\"");
  EXPECT_EQ(cell([](char* o) { return writeIpLetter(o, 0x00); }), "\"P\"");
  EXPECT_EQ(cell([](char* o) { return writeIpLetter(o, 0xFE); }), "\"P\"");
  EXPECT_EQ(cell([](char* o) { return writeIpLetter(o, 0x7F); }), "\"P\"");
  EXPECT_EQ(cell([](char* o) { return writeIpLetter(o, 0x01); }), "\"P\"");
}

TEST(CellFormat, PrintableRangeIsSpaceToTilde) {
  EXPECT_FALSE(isPrintable(0x00));
  EXPECT_FALSE(isPrintable(0x1F));
  EXPECT_TRUE(isPrintable(0x20));
  EXPECT_TRUE(isPrintable('"'));
  EXPECT_TRUE(isPrintable(0x7E));
  EXPECT_FALSE(isPrintable(0x7F));
  EXPECT_FALSE(isPrintable(0x80));
  EXPECT_FALSE(isPrintable(0xFF));
}

TEST(CellFormat, PayloadModes) {
  const std::vector<uint8_t> bytes = {0x41, 0x42, 0x0D, 0x0A};
  EXPECT_EQ(payload(bytes, PayloadMode::Hex), "\"41 42 0D 0A\"");
  EXPECT_EQ(payload(bytes, PayloadMode::Ascii), "\" A  B 0D 0A\"");
  EXPECT_EQ(payload(bytes, PayloadMode::Characters), "\"A B . .\"");
}

TEST(CellFormat, PayloadShowsAtMostLengthAndMarksAShortfall) {
  const std::vector<uint8_t> bytes = {0x41, 0x42, 0x0D, 0x0A};
  // The traced buffer was larger than what the record carries.
  EXPECT_EQ(payload(bytes, 10, PayloadMode::Hex), "\"41 42 0D 0A ...\"");
  EXPECT_EQ(payload(bytes, 10, PayloadMode::Ascii), "\" A  B 0D 0A ...\"");
  EXPECT_EQ(payload(bytes, 10, PayloadMode::Characters), "\"A B . . ...\"");
  EXPECT_EQ(payload(bytes, 5, PayloadMode::Hex), "\"41 42 0D 0A ...\"");
  // Bytes beyond the buffer's length are not shown, and that is not marked.
  EXPECT_EQ(payload(bytes, 2, PayloadMode::Hex), "\"41 42\"");
  EXPECT_EQ(payload(bytes, 2, PayloadMode::Ascii), "\" A  B\"");
  EXPECT_EQ(payload(bytes, 2, PayloadMode::Characters), "\"A B\"");
  EXPECT_EQ(payload(bytes, 0, PayloadMode::Hex), "\"\"");
  EXPECT_EQ(payload(bytes, 0, PayloadMode::Characters), "\"\"");
  EXPECT_EQ(payload({}, 3, PayloadMode::Hex), "\" ...\"");
  EXPECT_EQ(payload({0xC3}, 1, PayloadMode::Ascii), "\"C3\"");
}

TEST(CellFormat, PayloadPrintableBoundaries) {
  const std::vector<uint8_t> bytes = {0x20, 0x7F, 0x1F, 0x7E};
  EXPECT_EQ(payload(bytes, PayloadMode::Hex), "\"20 7F 1F 7E\"");
  EXPECT_EQ(payload(bytes, PayloadMode::Ascii), "\"   7F 1F  ~\"");
  EXPECT_EQ(payload(bytes, PayloadMode::Characters), "\"  . . ~\"");
}

TEST(CellFormat, PayloadQuoteByteIsDoubledWhenShownAsACharacter) {
  const std::vector<uint8_t> endsInQuote = {0x41, 0x22};
  EXPECT_EQ(payload(endsInQuote, PayloadMode::Hex), "\"41 22\"");
  EXPECT_EQ(payload(endsInQuote, PayloadMode::Ascii), "\" A  \"\"\"");
  EXPECT_EQ(payload(endsInQuote, PayloadMode::Characters), "\"A \"\"\"");
  EXPECT_EQ(payload({0x22}, PayloadMode::Ascii), "\" \"\"\"");
  EXPECT_EQ(payload({0x22}, PayloadMode::Characters), "\"\"\"\"");
  EXPECT_EQ(payload({0x22, 0x22}, 5, PayloadMode::Characters), "\"\"\" \"\" ...\"");
}

TEST(CellFormat, PayloadOfEveryByteInEveryModeStaysWithinItsRoom) {
  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> quotes(300, 0x22);
  // Every byte from 0, and every byte but the quote from 255 down.
  std::vector<uint8_t> noQuote(all.rbegin(), all.rend());
  noQuote.erase(noQuote.end() - 1 - 0x22);
  const std::vector<uint8_t> samples[] = {all, noQuote};
  for (PayloadMode mode : {PayloadMode::Hex, PayloadMode::Ascii, PayloadMode::Characters}) {
    // Every length up to three runs of sixteen, and the long ones.
    std::vector<uint32_t> lengths = {255u, 256u, 257u, 65535u};
    for (uint32_t length = 0; length <= 50; ++length) lengths.push_back(length);
    for (const uint32_t length : lengths) {
      for (const std::vector<uint8_t>& bytes : samples) {
        EXPECT_EQ(payload(bytes, length, mode), referenceDump(bytes, length, mode))
            << "mode " << int(mode) << " from " << int(bytes[0]) << " length " << length;
      }
    }
    EXPECT_EQ(payload(quotes, 1000, mode), referenceDump(quotes, 1000, mode));
    for (unsigned b = 0; b < 256; ++b) {
      const std::vector<uint8_t> one = {static_cast<uint8_t>(b)};
      EXPECT_EQ(payload(one, 2, mode), referenceDump(one, 2, mode)) << b;
    }
  }
}

TEST(CellFormat, SeparatorsAndLineEnd) {
  EXPECT_EQ(cell([](char* o) { return writeTab(o); }), "\t");
  EXPECT_EQ(cell([](char* o) { return writeLineEnd(o); }), "\r\n");
}

}  // namespace
}  // namespace qnvtab
