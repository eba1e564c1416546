#include "trace/trace_footer.h"

#include "trace/crc16.h"

namespace qnvtab {

bool TraceFooter::isValid() const { return hasGoodResidue(bytes.data(), bytes.size()); }

}  // namespace qnvtab
