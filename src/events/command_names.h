// The command codes of event records and their two-letter mnemonics.
#ifndef QNVTAB_EVENTS_COMMAND_NAMES_H_
#define QNVTAB_EVENTS_COMMAND_NAMES_H_

#include <cstddef>
#include <cstdint>

namespace qnvtab {

struct CommandNameEntry {
  uint8_t code;
  char mnemonic[3];
  const char* fullName;
};

constexpr size_t kCommandNameCount = 16;
extern const CommandNameEntry CommandNames[kCommandNameCount];

// The first row of `table` whose code equals the low 8 bits of `code`, or
// null for no match or a null table.
template <typename Row>
const Row* findCodeEntry(uint32_t code, const Row* table, size_t count) {
  if (table == nullptr) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (table[i].code == static_cast<uint8_t>(code)) return &table[i];
  }
  return nullptr;
}

// The two-letter mnemonic of a command code, or null when it has none.
const char* commandMnemonic(uint32_t code);

}  // namespace qnvtab

#endif  // QNVTAB_EVENTS_COMMAND_NAMES_H_
