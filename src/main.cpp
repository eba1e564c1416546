// qnvtab: converts a QNV device trace into a TAB-separated table.
#include "cli/run.h"

int main(int argc, char** argv) { return qnvtab::runQnvtab(argc, argv); }
