#include "member/lookup_tables.hpp"

namespace velk {

LookupTables build_lookup_tables(const VELK& model) {
  LookupTables tables;
  tables.materials.reserve(model.materials.size());
  for (const Material& material : model.materials) tables.materials[material.id] = &material;
  tables.sections.reserve(model.sections.size());
  for (const Section& section : model.sections) tables.sections[section.id] = &section;
  if (model.memberhinges) {
    tables.hinges.reserve(model.memberhinges->size());
    for (const MemberHinge& hinge : *model.memberhinges) tables.hinges[hinge.id] = &hinge;
  }
  return tables;
}

}  // namespace velk
