#include "cli/output_parts.h"

#include <gtest/gtest.h>

namespace qnvtab {
namespace {

TEST(OutputParts, PartPaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"OUT.XLS", "OUT_2.XLS"},
      {"out", "out_2"},
      {"a.b.tsv", "a.b_2.tsv"},
      {"logs.d/out", "logs.d/out_2"},
      {"/tmp/x.y/t.xls", "/tmp/x.y/t_2.xls"},
      {".table", ".table_2"},
      {"out.", "out_2."},
  };
  for (const auto& [output, part] : cases) EXPECT_EQ(partPath(output, 2), part) << output;
  EXPECT_EQ(partPath("OUT.XLS", 12), "OUT_12.XLS");
}

}  // namespace
}  // namespace qnvtab
