// A byte sink that collects everything written, for tests.
#ifndef QNVTAB_TESTS_SUPPORT_STRING_SINK_H_
#define QNVTAB_TESTS_SUPPORT_STRING_SINK_H_

#include <cstddef>
#include <string>

#include "table/output_buffer.h"

namespace qnvtab {

class StringSink : public ByteSink {
 public:
  bool write(const char* data, size_t size) override {
    text.append(data, size);
    return true;
  }
  std::string text;
};

}  // namespace qnvtab

#endif  // QNVTAB_TESTS_SUPPORT_STRING_SINK_H_
