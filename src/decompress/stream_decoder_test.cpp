#include "decompress/stream_decoder.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cstring>
#include <string>

namespace qnvtab {
namespace {

using Bytes = std::string;

Bytes gzipOf(const Bytes& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes zstdOf(const Bytes& data) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
  Bytes out(ZSTD_compressBound(data.size()), '\0');
  out.resize(ZSTD_compress2(context, out.data(), out.size(), data.data(), data.size()));
  ZSTD_freeCCtx(context);
  return out;
}

Bytes xzOf(const Bytes& data) {
  Bytes out(lzma_stream_buffer_bound(data.size()), '\0');
  size_t size = 0;
  EXPECT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                                    reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                    reinterpret_cast<uint8_t*>(out.data()), &size, out.size()),
            LZMA_OK);
  out.resize(size);
  return out;
}

class StringInput : public CompressedInput {
 public:
  explicit StringInput(const Bytes& bytes, size_t chunk) : bytes_(bytes), chunk_(chunk) {}
  long read(uint8_t* destination, size_t size) override {
    const size_t count = std::min({size, chunk_, bytes_.size() - at_});
    std::memcpy(destination, bytes_.data() + at_, count);
    at_ += count;
    return static_cast<long>(count);
  }

 private:
  const Bytes& bytes_;
  size_t chunk_;
  size_t at_ = 0;
};

class StringOutput : public DecodedOutput {
 public:
  bool write(const uint8_t* data, size_t size) override {
    bytes.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  Bytes bytes;
};

DecodedStream decoded(Compression compression, const Bytes& bytes, Bytes& out,
                      size_t chunk = 1 << 20, AtDamage atDamage = AtDamage::Stop) {
  StringInput input(bytes, chunk);
  StringOutput output;
  const DecodedStream stream = decodeStream(compression, input, output, atDamage);
  out = output.bytes;
  return stream;
}

// Data that compresses, and some that does not, over several chunks.
Bytes sampleData() {
  Bytes data;
  uint32_t state = 1;
  for (int i = 0; i < 600000; ++i) {
    state = state * 1103515245 + 12345;
    data += i % 3 == 0 ? static_cast<char>(state >> 24) : static_cast<char>('a' + i % 7);
  }
  return data;
}

struct Format {
  Compression compression;
  Bytes (*pack)(const Bytes&);
  uint32_t members;  // of the two packed one after the other
};
constexpr Format kFormats[] = {
    {Compression::Gzip, gzipOf, 2}, {Compression::Zstd, zstdOf, 2}, {Compression::Xz, xzOf, 0}};

TEST(StreamDecoder, MembersOneAfterAnotherAreOneStream) {
  const Bytes data = sampleData();
  const Bytes half(data, 0, data.size() / 3);
  for (const Format& format : kFormats) {
    SCOPED_TRACE(compressionName(format.compression));
    const Bytes packed = format.pack(half) + format.pack(data);
    EXPECT_EQ(compressionOf(reinterpret_cast<const uint8_t*>(packed.data()), packed.size()),
              format.compression);
    for (const size_t chunk : {size_t{1} << 20, size_t{1000}, size_t{1}}) {
      Bytes out;
      const DecodedStream stream = decoded(format.compression, packed, out, chunk);
      EXPECT_TRUE(stream.damages.empty()) << stream.damages.front().reason;
      EXPECT_TRUE(out == half + data);
      EXPECT_EQ(stream.members, format.members);
      EXPECT_EQ(stream.compressedBytes, packed.size());
      EXPECT_EQ(stream.decodedBytes, out.size());
    }
  }
}

// Cut anywhere inside: what came out is the front of the data, and the
// stream ends early where the bytes ran out. A byte changed: damage
// named, or (where the format leaves it unchecked) the data whole.
TEST(StreamDecoder, CutOrChangedStreamsSayWhere) {
  const Bytes data = sampleData();
  for (const Format& format : kFormats) {
    SCOPED_TRACE(compressionName(format.compression));
    const Bytes packed = format.pack(data);
    for (int point = 1; point < 20; ++point) {
      const size_t at = packed.size() * static_cast<size_t>(point) / 20;
      Bytes out;
      const DecodedStream cut = decoded(format.compression, packed.substr(0, at), out, 4096);
      ASSERT_EQ(cut.damages.size(), 1u) << at;
      EXPECT_TRUE(cut.damages[0].endsEarly);
      EXPECT_EQ(cut.damages[0].offset, at);
      EXPECT_EQ(describeDamage(cut.damages[0], format.compression),
                "compressed data ends early at compressed byte " + std::to_string(at));
      EXPECT_TRUE(data.compare(0, out.size(), out) == 0) << at;

      Bytes changed = packed;
      changed[at] = static_cast<char>(changed[at] ^ 0x10);
      const DecodedStream damaged = decoded(format.compression, changed, out, 4096);
      if (damaged.damages.empty()) {
        EXPECT_TRUE(out == data) << at;
        continue;
      }
      EXPECT_FALSE(damaged.damages[0].reason.empty());
      EXPECT_LE(damaged.damages[0].offset, packed.size());
      EXPECT_EQ(describeDamage(damaged.damages[0], format.compression)
                    .rfind("compressed data damaged at compressed byte ", 0),
                0u);
    }
  }
}

// Damage in one member of three: decoding stops there, or reads on from
// the next member, whose bytes follow those decoded before the damage.
TEST(StreamDecoder, ReadsOnFromTheNextMemberPastDamage) {
  const Bytes data = sampleData();
  const Bytes parts[] = {data.substr(0, 200000), data.substr(200000, 150000), data.substr(350000)};
  for (const Format& format : {kFormats[0], kFormats[1]}) {
    SCOPED_TRACE(compressionName(format.compression));
    const Bytes first = format.pack(parts[0]);
    const Bytes second = format.pack(parts[1]);
    const Bytes packed = first + second + format.pack(parts[2]);
    struct Case {
      const char* name;
      size_t at;      // the byte changed
      size_t readOn;  // where decoding goes on
    };
    const Case cases[] = {
        {"in the first member", first.size() / 2, first.size()},
        {"in the second member's head", first.size() + 3, first.size() + second.size()},
        {"in the second member", first.size() + second.size() / 3, first.size() + second.size()},
        // The library stops where the next member begins: it is read whole.
        {"in the first member's last byte", first.size() - 1, first.size()},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Bytes changed = packed;
      changed[c.at] = static_cast<char>(changed[c.at] ^ 0x55);
      for (const size_t chunk : {size_t{1} << 20, size_t{7}}) {
        Bytes stopped;
        const DecodedStream strict = decoded(format.compression, changed, stopped, chunk);
        ASSERT_EQ(strict.damages.size(), 1u);
        EXPECT_FALSE(strict.damages[0].readOnAt);

        Bytes out;
        const DecodedStream salvage =
            decoded(format.compression, changed, out, chunk, AtDamage::ReadOn);
        ASSERT_EQ(salvage.damages.size(), 1u);
        const StreamDamage& damage = salvage.damages[0];
        EXPECT_EQ(damage.offset, strict.damages[0].offset);
        EXPECT_EQ(damage.readOnAt, std::optional<uint64_t>(c.readOn));
        EXPECT_EQ(salvage.compressedBytes, packed.size());
        // What was decoded before the damage, then the later members whole.
        const Bytes after = c.readOn == first.size() ? parts[1] + parts[2] : parts[2];
        ASSERT_GE(out.size(), after.size());
        EXPECT_TRUE(out.compare(0, stopped.size(), stopped) == 0);
        EXPECT_TRUE(out.compare(out.size() - after.size(), after.size(), after) == 0);
        const std::string skipped = damage.offset == c.readOn
                                        ? ":"
                                        : ": compressed bytes " + std::to_string(damage.offset) +
                                              "-" + std::to_string(c.readOn - 1) + " skipped (" +
                                              std::to_string(c.readOn - damage.offset) + " bytes),";
        EXPECT_EQ(describeDamage(damage, format.compression),
                  describeDamage(strict.damages[0], format.compression) + skipped +
                      " read on from the next " +
                      (format.compression == Compression::Gzip ? "gzip member" : "zstd frame") +
                      " at compressed byte " + std::to_string(c.readOn));
      }
    }
  }
}

TEST(StreamDecoder, MagicBytes) {
  const std::pair<Bytes, Compression> cases[] = {
      {"\x1F\x8B\x08", Compression::Gzip},
      {Bytes("\x28\xB5\x2F\xFD\x00", 5), Compression::Zstd},
      {Bytes("\xFD"
             "7zXZ\x00\x00",
             7),
       Compression::Xz},
      {"\x1F", Compression::None},
      {Bytes("\xFD"
             "7zXZ",
             5),
       Compression::None},
      {"QNV", Compression::None},
      {"", Compression::None},
  };
  for (const auto& [head, compression] : cases) {
    EXPECT_EQ(compressionOf(reinterpret_cast<const uint8_t*>(head.data()), head.size()),
              compression);
  }
}

}  // namespace
}  // namespace qnvtab
