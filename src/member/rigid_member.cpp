#include "member/rigid_member.hpp"

#include <algorithm>
#include <cmath>

#include "base/message_format.hpp"
#include "member/member_stiffness.hpp"

namespace velk {

namespace {

// Modulus used when the effective section's material cannot be found.
constexpr double fallback_modulus = 2.1e11;
constexpr double target_over_largest_modulus = 1e4;
constexpr double target_without_modulus = 2.1e15;
constexpr double max_rigid_factor = 1e8;

bool shares_node(const Member& a, const Member& b) {
  const std::uint32_t s = a.start_node.id;
  const std::uint32_t e = a.end_node.id;
  return b.start_node.id == s || b.start_node.id == e || b.end_node.id == s || b.end_node.id == e;
}

}  // namespace

Result<std::uint32_t> rigid_effective_section(const VELK& model, const Member& member) {
  if (member.section) return *member.section;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& other : set.members) {
      if (other.member_type != MemberType::Rigid && other.section && shares_node(member, other)) {
        return *other.section;
      }
    }
  }
  if (!model.sections.empty()) return model.sections.front().id;
  return std::unexpected(format_message(
      "RigidMember needs at least one section in the model or a section on rigid member {}.", member.id));
}

double rigid_factor(const VELK& model, std::uint32_t effective_section_id) {
  double e_mat = fallback_modulus;
  const auto section = std::ranges::find(model.sections, effective_section_id, &Section::id);
  if (section != model.sections.end()) {
    const auto material = std::ranges::find(model.materials, section->material, &Material::id);
    if (material != model.materials.end()) e_mat = material->e_mod;
  }
  double e_max = 0.0;
  for (const Material& material : model.materials) {
    if (std::isfinite(material.e_mod)) e_max = std::max(e_max, material.e_mod);
  }
  const double target = e_max > 0.0 ? target_over_largest_modulus * e_max : target_without_modulus;
  return std::min(max_rigid_factor, std::max(1.0, target / std::max(e_mat, 1.0)));
}

Result<Matrix12> rigid_member_local_stiffness(const VELK& model, const Member& member,
                                              const LookupTables& tables) {
  const Result<std::uint32_t> section_id = rigid_effective_section(model, member);
  if (!section_id) return std::unexpected(section_id.error());
  Member stiff_beam = member;
  stiff_beam.section = *section_id;
  const std::optional<Matrix12> k_local = local_stiffness_matrix(stiff_beam, tables);
  if (!k_local) return std::unexpected(format_message("Rigid member {} failed to build local K.", member.id));
  return (*k_local * rigid_factor(model, *section_id)).eval();
}

}  // namespace velk
