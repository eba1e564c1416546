#include "trace/trace_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "trace/crc16.h"
#include "trace/trace_footer.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using builder::Bytes;
using builder::HeaderSpec;

// The header and footer read as a conversion reads them.
struct TraceStart {
  bool accepted = false;
  TraceHeader header;
  TraceFooter footer;
  uint16_t version = 0xBEEF;  // must stay untouched on failure
  long position = -1;         // where the first block begins
  std::string why;            // the fault's kind, for messages
};

TraceStart readHeaderOf(const Bytes& file) {
  MemoryByteSource source(file.data(), file.size());
  TraceStart start;
  HeaderRead read;
  std::optional<Fault> fault = readTraceHeader(source, read);
  if (!fault) fault = readTraceFooter(source, read.fileSize, read.layoutSize, start.footer);
  if (fault) {
    start.why = "fault kind " + std::to_string(static_cast<int>(fault->kind));
    return start;
  }
  start.accepted = true;
  start.header = read.header;
  start.version = read.version.number;
  start.position = static_cast<long>(read.layoutSize);
  return start;
}

void storeLayoutChecksum(Bytes& header, size_t layoutSize) {
  storeU16(&header[layoutSize - 2], crc16(header.data(), layoutSize - 2));
}

// A header as the builder makes it, then edited and given a fresh checksum.
Bytes headerWith(const HeaderSpec& plan, const std::function<void(Bytes&)>& edit = nullptr) {
  Bytes header = builder::buildHeader(plan);
  if (edit) {
    edit(header);
    storeLayoutChecksum(header, header.size());
  }
  return header;
}

Bytes append(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Header, `gap` bytes of block data and a footer claiming `dataLength`.
Bytes fileOf(const Bytes& header, size_t gap, uint32_t dataLength) {
  return append(append(header, Bytes(gap, 0x5A)), builder::buildFooter(512, 1, dataLength));
}

HeaderSpec specOf(unsigned version) {
  HeaderSpec plan;
  plan.version = version;
  return plan;
}

TEST(ScanDecimalField, ReadsAsAFormattedScanOfThatWidth) {
  struct Case {
    const char* text;
    int width;
    bool read;
    int value;
  };
  const Case cases[] = {
      {"00008", 5, true, 8},      {"000123", 5, true, 12},  // width stops the number
      {"   42", 5, true, 42},     {"\t\n 7", 3, true, 7},   // blanks skipped, not counted
      {"7.000", 5, true, 7},      {"12x4", 5, true, 12},    // stops at a non-digit
      {"-12345", 5, true, -1234}, {"+9", 2, true, 9},       // the sign counts in the width
      {"-", 5, false, 0},         {"+x", 5, false, 0},     {"abc", 3, false, 0},
      {"     ", 5, false, 0},     {"", 5, false, 0},       {".000", 3, false, 0},
  };
  for (const Case& c : cases) {
    const auto* field = reinterpret_cast<const uint8_t*>(c.text);
    int value = -99;
    EXPECT_EQ(scanDecimalField(field, field + std::strlen(c.text), c.width, value), c.read)
        << '"' << c.text << '"';
    if (c.read) {
      EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
  }
}

TEST(ScanDecimalField, NeverReadsPastTheEnd) {
  const uint8_t text[] = {'1', '2', '3', '4'};
  int value = 0;
  ASSERT_TRUE(scanDecimalField(text, text + 2, 5, value));
  EXPECT_EQ(value, 12);
  EXPECT_FALSE(scanDecimalField(text, text, 5, value));
}

TEST(TraceHeader, WrittenHeaderHoldsTheTextPrefix) {
  const Bytes header = builder::buildHeader(specOf(8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.data()), 23),
            "02 TRC    00008.000 01 ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&header[23]), 30),
            "Ortavi QNV trace              ");
  EXPECT_EQ(header[53], 0x1A);
}

// Every layout is accepted, read into the 203-byte form and leaves the file
// at its first block.
TEST(ReadTraceHeader, AcceptsEachVersionAndNormalises) {
  for (unsigned version : {5u, 6u, 7u, 8u}) {
    SCOPED_TRACE(version);
    HeaderSpec plan = specOf(version);
    plan.startGmtOffset = {0xFF, 3, 30, 9};
    plan.endGmtOffset = {2, 4, 15, 9};
    plan.firstEventGmtOffset = {0xFF, 0, 45, 9};
    const Bytes header = builder::buildHeader(plan);
    const Bytes footer = builder::buildFooter(512, 1, 20);
    const TraceStart read = readHeaderOf(fileOf(header, 20, 20));
    ASSERT_TRUE(read.accepted) << read.why;
    EXPECT_EQ(read.version, version);
    EXPECT_EQ(read.position, static_cast<long>(header.size()));
    EXPECT_TRUE(std::equal(footer.begin(), footer.end(), read.footer.bytes.begin()));

    const TraceHeader& normal = read.header;
    // What survives of the file's layout: all but its checksum, which the
    // fields added by the newer layouts overwrite.
    const size_t kept = version == 8   ? header.size()
                        : version == 7 ? layout::kStartGmtOffsetOffset
                                       : layout::kFirstEventDateOffset;
    EXPECT_TRUE(std::equal(header.begin(), header.begin() + kept, normal.bytes.begin()));
    EXPECT_EQ(normal.startDate().year, 2008u);
    EXPECT_EQ(normal.endTime().hour, 11u);
    if (version >= 7) {
      EXPECT_EQ(normal.firstEventTime().minute, 20u);
      EXPECT_EQ(normal.firstEventStamp(), 1000u);
    } else {
      // The 180-byte layout has no first event; its checksum must not show
      // through as a first-event date.
      for (size_t i = layout::kFirstEventDateOffset; i < layout::kStartGmtOffsetOffset; ++i) {
        EXPECT_EQ(normal.bytes[i], 0) << i;
      }
    }
    if (version < 8) {
      // Older traces were all recorded one hour east of GMT.
      for (const GmtOffset& offset :
           {normal.startGmtOffset(), normal.endGmtOffset(), normal.firstEventGmtOffset()}) {
        EXPECT_EQ(offset.sign, 1);
        EXPECT_EQ(offset.hours, 1);
        EXPECT_EQ(offset.minutes, 0);
        EXPECT_EQ(offset.spare, 0);
      }
    } else {
      EXPECT_EQ(normal.startGmtOffset().sign, 0xFF);
      EXPECT_EQ(normal.endGmtOffset().minutes, 15);
      EXPECT_EQ(normal.firstEventGmtOffset().minutes, 45);
    }
  }
}

// The smallest file of each layout: header and footer only, no block.
TEST(ReadTraceHeader, FileSizeLimits) {
  const Bytes v5 = builder::buildHeader(specOf(5));
  const Bytes smallest = fileOf(v5, 0, 0);
  ASSERT_EQ(smallest.size(), 196u);
  const TraceStart read = readHeaderOf(smallest);
  EXPECT_TRUE(read.accepted) << read.why;
  EXPECT_EQ(read.position, 180);

  EXPECT_FALSE(readHeaderOf(Bytes(smallest.begin(), smallest.end() - 1)).accepted);
  EXPECT_FALSE(readHeaderOf(Bytes(195, 0x20)).accepted);
  EXPECT_FALSE(readHeaderOf(v5).accepted);
  EXPECT_FALSE(readHeaderOf({}).accepted);

  for (unsigned version : {6u, 7u, 8u}) {
    const Bytes file = fileOf(builder::buildHeader(specOf(version)), 0, 0);
    EXPECT_TRUE(readHeaderOf(file).accepted) << version;
    // Without its last byte the footer no longer sits at the end.
    EXPECT_FALSE(readHeaderOf(Bytes(file.begin(), file.end() - 1)).accepted) << version;
  }
}

struct HeaderCase {
  const char* name;
  HeaderSpec plan;
  std::function<void(Bytes&)> edit;
  uint16_t acceptedVersion;  // 0: rejected
};

HeaderSpec textSpec(unsigned version, size_t layoutSize, const char* major, const char* minor,
                    const char* revision) {
  HeaderSpec plan = specOf(version);
  plan.layoutSize = layoutSize;
  plan.majorText = major;
  plan.minorText = minor;
  plan.revisionText = revision;
  return plan;
}

void setText(Bytes& header, size_t offset, const char* text) {
  std::memcpy(&header[offset], text, std::strlen(text));
}

TEST(ReadTraceHeader, VersionRevisionAndTag) {
  const HeaderCase cases[] = {
      {"9.0 in 203", textSpec(8, 203, "00009", "000", "01"), nullptr, 0},
      {"8.1 in 203", textSpec(8, 203, "00008", "001", "01"), nullptr, 0},
      {"7.0 in 180", textSpec(7, 180, "00007", "000", "01"), nullptr, 0},
      {"8.0 in 191", textSpec(8, 191, "00008", "000", "01"), nullptr, 0},
      {"7.0 in 203", textSpec(7, 203, "00007", "000", "01"), nullptr, 0},
      {"6.0 in 191", textSpec(6, 191, "00006", "000", "01"), nullptr, 0},
      {"4.0 in 180", textSpec(4, 180, "00004", "000", "01"), nullptr, 0},
      {"6.1 in 180", textSpec(6, 180, "00006", "001", "01"), nullptr, 0},
      {"no number", textSpec(8, 203, "ABCDE", "000", "01"), nullptr, 0},
      {"revision 2 in 203", textSpec(8, 203, "00008", "000", "02"), nullptr, 0},
      {"revision 2 in 191", textSpec(7, 191, "00007", "000", "02"), nullptr, 0},
      {"revision 2 in 180", textSpec(6, 180, "00006", "000", "02"), nullptr, 0},
      {"revision 0 in 180", textSpec(5, 180, "00005", "000", "00"), nullptr, 0},
      {"revision blank", textSpec(8, 203, "00008", "000", "  "), nullptr, 0},
      {"blank-led numbers", textSpec(8, 203, "    8", "  0", " 1"), nullptr, 8},
      {"5.0 written short", textSpec(5, 180, "5    ", "0  ", "1 "), nullptr, 5},
      {"lower-case tag", specOf(8), [](Bytes& h) { setText(h, 3, "trc   "); }, 0},
      {"tag off by one", specOf(7), [](Bytes& h) { setText(h, 3, "TRC  \t"); }, 0},
      {"tag off by one", specOf(5), [](Bytes& h) { setText(h, 3, " TRC  "); }, 0},
      // Kind code, separators, description and end mark are never read:
      // digits right behind a number field must not extend it.
      {"free text fields", specOf(8),
       [](Bytes& h) {
         setText(h, 0, "FF9");
         h[9] = '9';
         h[15] = '9';
         h[19] = '9';
         h[22] = '9';
         for (size_t i = 23; i <= 53; ++i) h[i] = static_cast<uint8_t>(i * 37);
       },
       8},
      {"free text fields", specOf(5),
       [](Bytes& h) {
         setText(h, 0, "\x01\x02\x03");
         h[15] = '5';
         h[19] = '0';
         h[22] = '1';
         h[53] = 0;
       },
       5},
  };
  for (const HeaderCase& c : cases) {
    const TraceStart read = readHeaderOf(fileOf(headerWith(c.plan, c.edit), 12, 12));
    EXPECT_EQ(read.accepted, c.acceptedVersion != 0) << c.name << ": " << read.why;
    EXPECT_EQ(read.version, c.acceptedVersion != 0 ? c.acceptedVersion : 0xBEEF) << c.name;
  }
}

// A 203-byte header whose bytes also carry valid checksums of the 180- and
// 191-byte layouts: once version 8.0 has taken the 203-byte layout, its
// revision decides, and no older layout is tried.
TEST(ReadTraceHeader, RevisionOfTakenLayoutIsFinal) {
  for (const char* revision : {"01", "02"}) {
    Bytes header = builder::buildHeader(textSpec(8, 203, "00008", "000", revision));
    storeLayoutChecksum(header, 180);
    storeLayoutChecksum(header, 191);
    storeLayoutChecksum(header, 203);
    for (size_t size : {180u, 191u, 203u}) {
      ASSERT_TRUE(hasValidChecksumAndTag(header.data(), size)) << size;
      EXPECT_TRUE(hasRevision(header.data(), size, std::atoi(revision))) << size;
    }
    EXPECT_TRUE(hasVersion(header.data(), 203, 8, 0));
    const TraceStart read = readHeaderOf(fileOf(header, 0, 0));
    EXPECT_EQ(read.accepted, std::string(revision) == "01") << revision << ": " << read.why;
  }
}

TEST(ReadTraceHeader, DataLengthMustFitBetweenHeaderAndFooter) {
  for (unsigned version : {5u, 7u, 8u}) {
    SCOPED_TRACE(version);
    const Bytes header = builder::buildHeader(specOf(version));
    EXPECT_TRUE(readHeaderOf(fileOf(header, 40, 40)).accepted);
    EXPECT_TRUE(readHeaderOf(fileOf(header, 40, 39)).accepted);  // a tolerated gap
    EXPECT_FALSE(readHeaderOf(fileOf(header, 40, 41)).accepted);
    EXPECT_TRUE(readHeaderOf(fileOf(header, 0, 0)).accepted);
    EXPECT_FALSE(readHeaderOf(fileOf(header, 0, 1)).accepted);
    EXPECT_FALSE(readHeaderOf(fileOf(header, 0, 0xFFFFFFFF)).accepted);
  }
}

TEST(ReadTraceHeader, BadFooterChecksumRejected) {
  const Bytes good = fileOf(builder::buildHeader(specOf(8)), 8, 8);
  ASSERT_TRUE(readHeaderOf(good).accepted);
  for (size_t bit = 0; bit < layout::kFooterSize * 8; bit += 5) {
    Bytes bad = good;
    builder::flipBit(bad, (bad.size() - layout::kFooterSize) * 8 + bit);
    EXPECT_FALSE(readHeaderOf(bad).accepted) << bit;
  }
}

TEST(ReadTraceHeader, DamagedHeaderRejected) {
  for (unsigned version : {5u, 7u, 8u}) {
    const Bytes good = fileOf(builder::buildHeader(specOf(version)), 8, 8);
    const size_t headerBits = builder::headerLayoutSize(specOf(version)) * 8;
    for (size_t bit = 0; bit < headerBits; bit += 7) {
      Bytes bad = good;
      builder::flipBit(bad, bit);
      EXPECT_FALSE(readHeaderOf(bad).accepted) << version << " bit " << bit;
    }
  }
}

}  // namespace
}  // namespace qnvtab
