#include "decompress/ucl_service.h"

#include <gtest/gtest.h>
#include <ucl/ucl.h>

#include <vector>

#include "trace_builder.h"

namespace qnvtab {
namespace {

TEST(UclService, DecompressBeforeInitialisationDoesNothing) {
  const std::vector<uint8_t> data(200, 'Q');
  const std::vector<uint8_t> stream = builder::compressNrv2b(data.data(), data.size());
  UclService service;
  std::vector<uint8_t> destination(300, 0xEE);
  uint32_t destinationLength = 300;
  EXPECT_EQ(service.decompress(stream.data(), static_cast<uint32_t>(stream.size()),
                               destination.data(), destinationLength),
            UclServiceResult::NotInitialised);
  EXPECT_EQ(destinationLength, 300u);
  EXPECT_EQ(destination, std::vector<uint8_t>(300, 0xEE));
  EXPECT_EQ(service.lastLibraryResult(), 0);

  ASSERT_EQ(service.initialise(), UclServiceResult::Success);
  ASSERT_EQ(service.initialise(), UclServiceResult::Success);
  EXPECT_EQ(service.initialisationCount(), 1);
  ASSERT_EQ(service.decompress(stream.data(), static_cast<uint32_t>(stream.size()),
                               destination.data(), destinationLength),
            UclServiceResult::Success);
  EXPECT_EQ(destinationLength, 200u);
  EXPECT_EQ(std::vector<uint8_t>(destination.begin(), destination.begin() + 200), data);
}

// The last failure's code is kept, and a later success does not clear it.
TEST(UclService, KeepsTheLibraryCodeOfTheLastFailure) {
  const std::vector<uint8_t> data(200, 'Q');
  const std::vector<uint8_t> stream = builder::compressNrv2b(data.data(), data.size());
  UclService service;
  ASSERT_EQ(service.initialise(), UclServiceResult::Success);
  std::vector<uint8_t> destination(300);
  uint32_t destinationLength = 199;
  EXPECT_EQ(service.decompress(stream.data(), static_cast<uint32_t>(stream.size()),
                               destination.data(), destinationLength),
            UclServiceResult::DecompressError);
  EXPECT_EQ(service.lastLibraryResult(), UCL_E_OUTPUT_OVERRUN);
  destinationLength = 300;
  EXPECT_EQ(service.decompress(stream.data(), static_cast<uint32_t>(stream.size() - 1),
                               destination.data(), destinationLength),
            UclServiceResult::DecompressError);
  EXPECT_EQ(service.lastLibraryResult(), UCL_E_INPUT_OVERRUN);
  destinationLength = 300;
  EXPECT_EQ(service.decompress(stream.data(), static_cast<uint32_t>(stream.size()),
                               destination.data(), destinationLength),
            UclServiceResult::Success);
  EXPECT_EQ(service.lastLibraryResult(), UCL_E_INPUT_OVERRUN);
}

}  // namespace
}  // namespace qnvtab
