#pragma once
// What the report's pictures are drawn from: the nodes and members of the
// model in the document's length unit, with each member's local axes, the
// kind of each support and the released member ends.

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "document/velk.hpp"
#include "member/member_dofs.hpp"

namespace velk::report {

// How a supported node is drawn. A support counts as one-sided when any axis
// is PositiveOnly or NegativeOnly, else as a spring when any axis is a
// Spring; else by what it holds (a missing axis is held): fixed (all six),
// pinned (the three translations, a rotation free), roller (a translation
// free).
enum class SupportKind { Fixed, Pinned, Roller, Spring, OneSided };
SupportKind support_kind(const NodalSupport& support);
std::string_view support_kind_name(SupportKind kind);

struct SceneNode {
  std::uint32_t id = 0;
  Vector3 position = Vector3::Zero();  // document length unit
  std::optional<SupportKind> support;
};

struct SceneMember {
  std::uint32_t id = 0;
  MemberType type = MemberType::Normal;
  std::uint32_t start_id = 0;
  std::uint32_t end_id = 0;
  Vector3 start = Vector3::Zero();
  Vector3 end = Vector3::Zero();
  double length = 0.0;
  // The local axes as rows; the identity for a member without a direction.
  Matrix3 lambda = Matrix3::Identity();
  bool has_direction = false;
  bool start_released = false;  // a hinge frees or springs an entry at this end
  bool end_released = false;
};

struct Scene {
  std::map<std::uint32_t, SceneNode> nodes;  // by id
  std::vector<SceneMember> members;          // document order
  std::vector<Vector3> points;               // every node position
  double extent = 0.0;                       // model_extent of the points

  // The first member with this id, or nullptr.
  const SceneMember* member(std::uint32_t id) const;
};

// `length_factor` turns the document's length unit into the unit of the
// model's coordinates (the model holds metres, the picture the document's
// unit: pass the document unit's size in metres).
Scene build_scene(const VELK& model, double length_factor);

}  // namespace velk::report
