#include "trace/trace_footer.h"

#include <gtest/gtest.h>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

TraceFooter footerFrom(const builder::Bytes& bytes) {
  TraceFooter footer;
  std::copy(bytes.begin(), bytes.end(), footer.bytes.begin());
  return footer;
}

TEST(TraceFooter, FieldsAreLittleEndianAtTheirOffsets) {
  const TraceFooter footer = footerFrom(builder::buildFooter(0xA1B2, 0x0C0D, 0x11223344));
  EXPECT_EQ(footer.blockSize(), 0xA1B2);
  EXPECT_EQ(footer.blockCount(), 0x0C0D);
  EXPECT_EQ(footer.dataLength(), 0x11223344u);
  EXPECT_TRUE(footer.isValid());
}

// The checksum covers all fields, the bytes this program never reads
// included, and catches every single changed bit.
TEST(TraceFooter, EveryFlippedBitMakesItInvalid) {
  const builder::Bytes good = builder::buildFooter(512, 3, 1500);
  for (size_t bit = 0; bit < good.size() * 8; ++bit) {
    builder::Bytes bad = good;
    builder::flipBit(bad, bit);
    EXPECT_FALSE(footerFrom(bad).isValid()) << bit;
  }
  EXPECT_FALSE(TraceFooter{}.isValid());  // sixteen zero bytes
}

}  // namespace
}  // namespace qnvtab
