#include "report/scene.hpp"

#include <algorithm>

#include "member/hinge_and_release_operations.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_geometry.hpp"
#include "report/drawing_geometry.hpp"
#include "system/support_utils.hpp"

namespace velk::report {

SupportKind support_kind(const NodalSupport& support) {
  bool spring = false;
  for (int local = 0; local < dof::PER_NODE; ++local) {
    const SupportCondition* condition = find_condition(support, local);
    if (condition == nullptr) continue;
    if (condition->condition_type == ConditionType::PositiveOnly ||
        condition->condition_type == ConditionType::NegativeOnly)
      return SupportKind::OneSided;
    if (condition->condition_type == ConditionType::Spring) spring = true;
  }
  if (spring) return SupportKind::Spring;
  const auto held = [&](int from) {
    return is_restrained(support, from) && is_restrained(support, from + 1) &&
           is_restrained(support, from + 2);
  };
  if (!held(dof::UX)) return SupportKind::Roller;
  return held(dof::RX) ? SupportKind::Fixed : SupportKind::Pinned;
}

std::string_view support_kind_name(SupportKind kind) {
  switch (kind) {
    case SupportKind::Fixed:
      return "fixed";
    case SupportKind::Pinned:
      return "pinned";
    case SupportKind::Roller:
      return "roller";
    case SupportKind::Spring:
      return "spring";
    case SupportKind::OneSided:
      return "one-sided";
  }
  return "";
}

const SceneMember* Scene::member(std::uint32_t id) const {
  const auto it =
      std::find_if(members.begin(), members.end(), [&](const SceneMember& m) { return m.id == id; });
  return it == members.end() ? nullptr : &*it;
}

namespace {

bool any_released(const ReleasePattern& pattern, int from) {
  return std::any_of(pattern.begin() + from, pattern.begin() + from + dof::PER_NODE,
                     [](const ReleaseEntry& entry) { return entry.released(); });
}

}  // namespace

Scene build_scene(const VELK& model, double length_factor) {
  Scene scene;
  const SupportTable supports = build_support_table(model.nodal_supports);
  const LookupTables tables = build_lookup_tables(model);
  const auto place = [&](const Node& node) {
    const Vector3 position = Vector3(node.x, node.y, node.z) / length_factor;
    const auto [it, fresh] = scene.nodes.try_emplace(node.id, SceneNode{node.id, position, std::nullopt});
    if (!fresh) return it->second.position;  // the first coordinates seen stand for the node
    if (const NodalSupport* support = find_support(node, supports))
      it->second.support = support_kind(*support);
    scene.points.push_back(position);
    return position;
  };
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      SceneMember m;
      m.id = member.id;
      m.type = member.member_type;
      m.start_id = member.start_node.id;
      m.end_id = member.end_node.id;
      m.start = place(member.start_node);
      m.end = place(member.end_node);
      m.length = (m.end - m.start).norm();
      // The same tolerance as the member's rotation, which would stop on a
      // member without a direction: such a member is still drawn.
      if (member_length(member) >= 1e-12) {
        m.lambda = rotation_matrix(member);
        m.has_direction = m.lambda.allFinite();
      }
      const ReleasePattern pattern = member_release_pattern(member, tables.hinges);
      m.start_released = any_released(pattern, 0);
      m.end_released = any_released(pattern, dof::END);
      scene.members.push_back(m);
    }
  }
  scene.extent = model_extent(scene.points);
  return scene;
}

}  // namespace velk::report
