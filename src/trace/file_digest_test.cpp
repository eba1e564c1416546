#include "trace/file_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnvtab {
namespace {

std::string digestOf(const std::string& text) {
  MemoryByteSource source(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return sha256Of(source).sha256;
}

// The published test vectors, and sizes around the read chunk, whose
// digests differ from each other only if every byte is read once.
TEST(FileDigest, Sha256OfKnownTexts) {
  EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digestOf(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  const std::string chunk(size_t{1} << 18, 'x');
  EXPECT_NE(digestOf(chunk), digestOf(chunk + "x"));
  EXPECT_NE(digestOf(chunk.substr(1)), digestOf(chunk));
}

}  // namespace
}  // namespace qnvtab
