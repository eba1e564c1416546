#include "cli/printable_name.h"

#include <gtest/gtest.h>

#include <string>

namespace qnvtab {
namespace {

TEST(PrintableName, EscapesWhatATerminalWouldObey) {
  const std::pair<std::string, std::string> cases[] = {
      {"TRACE.QNV", "TRACE.QNV"},
      {"/tmp/a b/%s.qnv", "/tmp/a b/%s.qnv"},
      {"", "''"},
      {"two\nlines", "two\\nlines"},
      {"tab\there\r", "tab\\there\\r"},
      {"\x1B[31mred", "\\x1B[31mred"},
      {std::string("nul\0", 4), "nul\\x00"},
      {"del\x7F", "del\\x7F"},
      {"back\\slash", "back\\\\slash"},
      // UTF-8 stays as it is, C1 controls in it do not.
      {"caf\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x98\x80", "caf\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x98\x80"},
      {"\xC4\x9B", "\xC4\x9B"},  // a 0x9B continuation byte is no CSI
      {"csi\xC2\x9B" "2J", "csi\\xC2\\x9B2J"},
      {"nbsp\xC2\xA0", "nbsp\xC2\xA0"},
      // Bytes that are no UTF-8, each on its own.
      {"latin\xE9", "latin\\xE9"},
      {"csi\x9B" "2J", "csi\\x9B2J"},
      {"\xC0\xAF", "\\xC0\\xAF"},          // overlong
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},  // surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
      {"cut\xE2\x82", "cut\\xE2\\x82"},
  };
  for (const auto& [name, shown] : cases) {
    EXPECT_EQ(printableName(name), shown) << shown;
  }
}

}  // namespace
}  // namespace qnvtab
