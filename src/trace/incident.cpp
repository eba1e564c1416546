#include "trace/incident.h"

namespace qnvtab {

DamageFound damageFound(const SalvageSummary& summary) {
  if (!summary.interiorDamage && !summary.endDamage) return DamageFound::None;
  if (summary.interiorDamage || summary.footerChecks) return DamageFound::Inside;
  return DamageFound::AtEnd;
}

}  // namespace qnvtab
