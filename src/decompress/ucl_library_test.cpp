#include "decompress/ucl_library.h"

#include <gtest/gtest.h>
#include <ucl/ucl.h>

#include <vector>

#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

// Each call returns its own result and library code; a failure leaves
// nothing behind that a later call could see.
TEST(UclLibrary, EachDecompressionReturnsItsOwnCode) {
  const std::vector<uint8_t> data(200, 'Q');
  const std::vector<uint8_t> stream = builder::compressNrv2b(data.data(), data.size());
  ASSERT_EQ(initialiseUcl().status, UclServiceResult::Success);
  ASSERT_EQ(initialiseUcl().status, UclServiceResult::Success);
  struct Case {
    size_t sourceSize;
    size_t room;
    UclServiceResult status;
    int32_t libraryCode;
  };
  const Case cases[] = {
      {stream.size(), 199, UclServiceResult::DecompressError, UCL_E_OUTPUT_OVERRUN},
      {stream.size() - 1, 300, UclServiceResult::DecompressError, UCL_E_INPUT_OVERRUN},
      {stream.size(), 300, UclServiceResult::Success, UCL_E_OK},
      {stream.size(), 200, UclServiceResult::Success, UCL_E_OK},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> destination(300, 0xEE);
    const UclResult result =
        decompressNrv2b({stream.data(), c.sourceSize}, {destination.data(), c.room});
    EXPECT_EQ(result.status, c.status) << c.sourceSize << " into " << c.room;
    EXPECT_EQ(result.libraryCode, c.libraryCode) << c.sourceSize << " into " << c.room;
    if (c.status == UclServiceResult::Success) {
      EXPECT_EQ(result.produced, 200u);
      EXPECT_EQ(std::vector<uint8_t>(destination.begin(), destination.begin() + 200), data);
    }
    if (c.room < destination.size()) {
      EXPECT_EQ(destination[c.room], 0xEE) << "written past the room";
    }
  }
}

}  // namespace
}  // namespace qnvtab
