#pragma once
// Lookup tables of the model's materials, sections and member hinges by id,
// rebuilt for every assembly. Where ids repeat, the later record wins. The
// tables point into the model, which must outlive them.

#include <cstdint>
#include <unordered_map>

#include "document/velk.hpp"

namespace velk {

using MaterialTable = std::unordered_map<std::uint32_t, const Material*>;
using SectionTable = std::unordered_map<std::uint32_t, const Section*>;
using HingeTable = std::unordered_map<std::uint32_t, const MemberHinge*>;

struct LookupTables {
  MaterialTable materials;
  SectionTable sections;
  HingeTable hinges;
};

LookupTables build_lookup_tables(const VELK& model);

// The record under `id`, or nullptr.
template <class Table>
auto find_in(const Table& table, std::uint32_t id) -> typename Table::mapped_type {
  const auto it = table.find(id);
  return it == table.end() ? nullptr : it->second;
}

}  // namespace velk
