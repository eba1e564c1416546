#include "events/command_names.h"

namespace qnvtab {

const CommandNameEntry CommandNames[kCommandNameCount] = {
    {0x01, "PC", "MLMVPCALL"}, {0x02, "PH", "MLMVPHANGUP"}, {0x10, "CL", "CALL"},
    {0x11, "LI", "LISTEN"},    {0x12, "HG", "HANGUP"},      {0x14, "SD", "SEND"},
    {0x15, "RV", "RECEIVE"},   {0x35, "CN", "CANCEL"},      {0x60, "DG", "DIAG"},
    {0x62, "ST", "STAT"},      {0x64, "MT", "MAINT"},       {0x65, "DB", "DEBUG"},
    {0x68, "TS", "TEST"},      {0x70, "GE", "GETEVENT"},    {0x71, "PE", "PUTEVENT"},
    {0x72, "ER", "EIR"},
};

const char* commandMnemonic(uint32_t code) {
  const CommandNameEntry* entry = findCodeEntry(code & 0xFF, CommandNames, kCommandNameCount);
  return entry != nullptr ? entry->mnemonic : nullptr;
}

}  // namespace qnvtab
