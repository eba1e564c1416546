#include "decompress/stream_decoder.h"

#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace qnvtab {
namespace {

constexpr size_t kChunk = size_t{1} << 18;

// The bytes in hand on either side of a library, and what came of them.
// A library takes next()/left() and gives back how much it left unread;
// its output goes to out() and is passed on by drain().
class Pump {
 public:
  Pump(CompressedInput& input, DecodedOutput& output, DecodedStream& result)
      : input_(input),
        output_(output),
        result_(result),
        in_(new (std::nothrow) uint8_t[kChunk]),
        out_(new (std::nothrow) uint8_t[kChunk]) {
    result_.outOfMemory = in_ == nullptr || out_ == nullptr;
  }
  bool allocated() const { return !result_.outOfMemory; }

  // Reads the next chunk once the one in hand is used up and the library
  // holds no more output; false after a failed read or write.
  bool refill() {
    if (failed_) return false;
    if (left_ > 0 || outputFull_ || ended_) return true;
    const long got = input_.read(in_.get(), kChunk);
    if (got < 0) {
      result_.readError = errno != 0 ? errno : EIO;
      return false;
    }
    ended_ = got == 0;
    next_ = in_.get();
    left_ = static_cast<size_t>(got);
    result_.compressedBytes += left_;
    return true;
  }
  // Every compressed byte read and taken, and no output held back.
  bool finished() const { return ended_ && left_ == 0 && !outputFull_; }
  bool ended() const { return ended_; }
  uint64_t decoded() const { return result_.decodedBytes; }

  const uint8_t* next() const { return next_; }
  size_t left() const { return left_; }
  void took(size_t left) {
    next_ += left_ - left;
    left_ = left;
  }
  uint8_t* out() { return out_.get(); }
  // Passes on the output of a call that left `outLeft` of the chunk free.
  bool drain(size_t outLeft) {
    const size_t produced = kChunk - outLeft;
    outputFull_ = outLeft == 0;
    if (produced > 0 && !output_.write(out_.get(), produced)) {
      result_.writeFailed = failed_ = true;
    }
    result_.decodedBytes += produced;
    return !failed_;
  }
  void damage(bool endsEarly, std::string reason) {
    result_.damages.push_back(StreamDamage{position(), endsEarly, std::move(reason), std::nullopt});
  }
  // Compressed bytes read and taken.
  uint64_t position() const { return result_.compressedBytes - left_; }

  // Passes over the compressed bytes up to the next `magic`, from the one
  // in hand or, with `stepFirst`, the one after; false when the input ends
  // first or fails.
  bool skipToNext(const uint8_t* magic, size_t length, bool stepFirst) {
    if (stepFirst && left_ > 0) took(left_ - 1);
    for (;;) {
      const void* found = ::memmem(next_, left_, magic, length);
      if (found != nullptr) {
        took(left_ - static_cast<size_t>(static_cast<const uint8_t*>(found) - next_));
        return true;
      }
      // The last bytes may begin the magic: they are kept for the next read.
      took(std::min(left_, length - 1));
      if (ended_ || !readMore()) {
        took(0);
        return false;
      }
    }
  }

 private:
  CompressedInput& input_;
  DecodedOutput& output_;
  DecodedStream& result_;
  std::unique_ptr<uint8_t[]> in_;
  std::unique_ptr<uint8_t[]> out_;
  // Moves the bytes in hand to the front and reads after them.
  bool readMore() {
    std::memmove(in_.get(), next_, left_);
    next_ = in_.get();
    const long got = input_.read(in_.get() + left_, kChunk - left_);
    if (got < 0) {
      result_.readError = errno != 0 ? errno : EIO;
      failed_ = true;
      return false;
    }
    ended_ = got == 0;
    left_ += static_cast<size_t>(got);
    result_.compressedBytes += static_cast<size_t>(got);
    return true;
  }

  const uint8_t* next_ = nullptr;
  size_t left_ = 0;
  bool ended_ = false;
  bool outputFull_ = false;
  bool failed_ = false;
};

// After damage: the next place where `magic` begins a member or frame,
// from which decoding goes on. One that fails before it gives a byte was
// no member: the damage then reaches on to the next.
class ReadOn {
 public:
  ReadOn(Pump& pump, DecodedStream& result, AtDamage atDamage, const uint8_t* magic, size_t length)
      : pump_(pump), result_(result), atDamage_(atDamage), magic_(magic), length_(length) {}

  void memberBegins() { memberStart_ = pump_.position(); }
  // Damage met in a member; true when decoding goes on from the next one.
  bool past(bool endsEarly, std::string reason) {
    if (falseStart()) {
      --result_.members;
      result_.damages.back().readOnAt.reset();
    } else {
      pump_.damage(endsEarly, std::move(reason));
    }
    // The library may stop right where the next member begins; a member
    // that failed where it began is not tried again.
    const bool stepFirst = pump_.position() == memberStart_;
    if (atDamage_ == AtDamage::Stop || endsEarly || !pump_.skipToNext(magic_, length_, stepFirst)) {
      return false;
    }
    result_.damages.back().readOnAt = pump_.position();
    decodedAtReadOn_ = pump_.decoded();
    readingOn_ = true;
    return true;
  }
  void memberEnded() { readingOn_ = false; }

 private:
  bool falseStart() const { return readingOn_ && pump_.decoded() == decodedAtReadOn_; }

  Pump& pump_;
  DecodedStream& result_;
  const AtDamage atDamage_;
  const uint8_t* const magic_;
  const size_t length_;
  bool readingOn_ = false;
  uint64_t decodedAtReadOn_ = 0;
  uint64_t memberStart_ = 0;
};

constexpr uint8_t kGzipMagic[] = {0x1F, 0x8B, 0x08};  // with the deflate method
constexpr uint8_t kZstdMagic[] = {0x28, 0xB5, 0x2F, 0xFD};

// Members follow one another; the bytes after a member's end must begin
// the next.
void decodeGzip(Pump& pump, DecodedStream& result, AtDamage atDamage) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) {  // + 16: the gzip wrapper
    result.outOfMemory = true;
    return;
  }
  ReadOn readOn(pump, result, atDamage, kGzipMagic, sizeof kGzipMagic);
  bool inMember = false;
  while (pump.refill()) {
    if (pump.finished()) {
      if (inMember) readOn.past(true, "");
      break;
    }
    if (!inMember) {
      ++result.members;
      readOn.memberBegins();
    }
    inMember = true;
    z.next_in = const_cast<Bytef*>(pump.next());
    z.avail_in = static_cast<uInt>(pump.left());
    z.next_out = pump.out();
    z.avail_out = static_cast<uInt>(kChunk);
    const int code = inflate(&z, Z_NO_FLUSH);
    pump.took(z.avail_in);
    if (!pump.drain(z.avail_out)) break;
    if (code == Z_STREAM_END) {
      inMember = false;
      readOn.memberEnded();
      inflateReset(&z);
    } else if (code == Z_MEM_ERROR) {
      result.outOfMemory = true;
      break;
    } else if (code != Z_OK && code != Z_BUF_ERROR) {
      if (!readOn.past(false, z.msg != nullptr ? z.msg : zError(code))) break;
      inMember = false;
      inflateReset(&z);
    }
  }
  inflateEnd(&z);
}

// ZSTD_decompressStream() reads frame after frame; it says 0 where one
// ends with all its output given.
void decodeZstd(Pump& pump, DecodedStream& result, AtDamage atDamage) {
  const std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(),
                                                                   ZSTD_freeDCtx);
  if (context == nullptr) {
    result.outOfMemory = true;
    return;
  }
  ReadOn readOn(pump, result, atDamage, kZstdMagic, sizeof kZstdMagic);
  bool inFrame = false;
  while (pump.refill()) {
    if (pump.finished()) {
      if (inFrame) readOn.past(true, "");
      break;
    }
    if (!inFrame) {
      ++result.members;
      readOn.memberBegins();
    }
    inFrame = true;
    ZSTD_inBuffer in{pump.next(), pump.left(), 0};
    ZSTD_outBuffer out{pump.out(), kChunk, 0};
    const size_t code = ZSTD_decompressStream(context.get(), &out, &in);
    pump.took(in.size - in.pos);
    if (!pump.drain(kChunk - out.pos)) break;
    if (ZSTD_isError(code) && ZSTD_getErrorCode(code) == ZSTD_error_memory_allocation) {
      result.outOfMemory = true;
      break;
    }
    if (ZSTD_isError(code)) {
      if (!readOn.past(false, ZSTD_getErrorName(code))) break;
      inFrame = false;
      ZSTD_DCtx_reset(context.get(), ZSTD_reset_session_only);
    } else if (code == 0) {
      inFrame = false;
      readOn.memberEnded();
    }
  }
}

const char* xzReason(lzma_ret code) {
  switch (code) {
    case LZMA_FORMAT_ERROR:
      return "not in the xz format";
    case LZMA_OPTIONS_ERROR:
      return "unsupported options";
    case LZMA_DATA_ERROR:
      return "compressed data is corrupt";
    case LZMA_MEMLIMIT_ERROR:
    case LZMA_MEM_ERROR:
      return "cannot allocate memory";
    default:
      return "the library failed";
  }
}

// LZMA_CONCATENATED reads stream after stream up to the end of the input.
void decodeXz(Pump& pump, DecodedStream& result) {
  lzma_stream xz = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&xz, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) {
    result.outOfMemory = true;
    return;
  }
  while (pump.refill()) {
    xz.next_in = pump.next();
    xz.avail_in = pump.left();
    xz.next_out = pump.out();
    xz.avail_out = kChunk;
    const lzma_ret code = lzma_code(&xz, pump.ended() ? LZMA_FINISH : LZMA_RUN);
    pump.took(xz.avail_in);
    if (!pump.drain(xz.avail_out) || code == LZMA_STREAM_END) break;
    if (code == LZMA_OK) continue;
    if (code == LZMA_BUF_ERROR && pump.finished()) {
      pump.damage(true, "");
    } else if (code == LZMA_MEM_ERROR || code == LZMA_MEMLIMIT_ERROR) {
      result.outOfMemory = true;
    } else {
      pump.damage(false, xzReason(code));
    }
    break;
  }
  lzma_end(&xz);
}

}  // namespace

Compression compressionOf(const uint8_t* head, size_t size) {
  static constexpr uint8_t kGzip[] = {0x1F, 0x8B};
  static constexpr uint8_t kZstd[] = {0x28, 0xB5, 0x2F, 0xFD};
  static constexpr uint8_t kXz[] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
  const auto begins = [&](const uint8_t* magic, size_t length) {
    return size >= length && std::memcmp(head, magic, length) == 0;
  };
  if (begins(kGzip, sizeof kGzip)) return Compression::Gzip;
  if (begins(kZstd, sizeof kZstd)) return Compression::Zstd;
  if (begins(kXz, sizeof kXz)) return Compression::Xz;
  return Compression::None;
}

const char* compressionName(Compression compression) {
  switch (compression) {
    case Compression::None:
      break;
    case Compression::Gzip:
      return "gzip";
    case Compression::Zstd:
      return "zstd";
    case Compression::Xz:
      return "xz";
  }
  return "none";
}

DecodedStream decodeStream(Compression compression, CompressedInput& input, DecodedOutput& output,
                           AtDamage atDamage) {
  DecodedStream result;
  Pump pump(input, output, result);
  if (!pump.allocated()) return result;
  switch (compression) {
    case Compression::None:
      break;
    case Compression::Gzip:
      decodeGzip(pump, result, atDamage);
      break;
    case Compression::Zstd:
      decodeZstd(pump, result, atDamage);
      break;
    case Compression::Xz:
      decodeXz(pump, result);
      break;
  }
  return result;
}

std::string describeDamage(const StreamDamage& damage, Compression compression) {
  const std::string at = " at compressed byte " + std::to_string(damage.offset);
  if (damage.endsEarly) return "compressed data ends early" + at;
  std::string text =
      "compressed data damaged" + at + (damage.reason.empty() ? "" : " (" + damage.reason + ")");
  if (damage.readOnAt) {
    const uint64_t skipped = *damage.readOnAt - damage.offset;
    if (skipped > 0) {
      text += ": compressed bytes " + std::to_string(damage.offset) + "-" +
              std::to_string(*damage.readOnAt - 1) + " skipped (" + std::to_string(skipped) +
              " bytes),";
    } else {
      text += ":";
    }
    text += std::string(" read on from the next ") +
            (compression == Compression::Zstd ? "zstd frame" : "gzip member") +
            " at compressed byte " + std::to_string(*damage.readOnAt);
  }
  return text;
}

}  // namespace qnvtab
