#include "document/units.hpp"

#include <cmath>
#include <optional>

namespace velk {
namespace {

// A factor this close to 1 leaves the values it would scale untouched.
constexpr double unit_tolerance = 1e-12;

bool is_unit(double factor) { return std::fabs(factor - 1.0) <= unit_tolerance; }

void scale(std::optional<double>& value, double factor) {
  if (value) *value *= factor;
}

double length_factor(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Mm:
      return 0.001;
    case LengthUnit::Cm:
      return 0.01;
    case LengthUnit::M:
      return 1.0;
  }
  return 1.0;
}

double force_factor(ForceUnit unit) {
  switch (unit) {
    case ForceUnit::N:
      return 1.0;
    case ForceUnit::KN:
      return 1000.0;
  }
  return 1.0;
}

double density_factor(DensityUnit unit) {
  switch (unit) {
    case DensityUnit::KgPerM3:
      return 1.0;
    case DensityUnit::KgPerMm3:
      return 1.0e9;
  }
  return 1.0;
}

double pressure_factor(PressureUnit unit) {
  switch (unit) {
    case PressureUnit::Pa:
      return 1.0;
    case PressureUnit::KPa:
      return 1.0e3;
    case PressureUnit::MPa:
      return 1.0e6;
    case PressureUnit::GPa:
      return 1.0e9;
  }
  return 1.0;
}

void scale_node(Node& node, double length) {
  node.x *= length;
  node.y *= length;
  node.z *= length;
}

// Forces divided by F, moments by F*L.
void forces_to_document_units(NodeForces& forces, double force, double moment) {
  forces.fx /= force;
  forces.fy /= force;
  forces.fz /= force;
  forces.mx /= moment;
  forces.my /= moment;
  forces.mz /= moment;
}

}  // namespace

UnitFactors unit_factors(const UnitSettings& units) {
  return UnitFactors{
      .length = length_factor(units.length_unit),
      .force = force_factor(units.force_unit),
      .density = density_factor(units.density_unit),
      .pressure = pressure_factor(units.pressure_unit),
  };
}

void normalize_units(VELK& model, const UnitFactors& factors) {
  const double length = factors.length;
  const double force = factors.force;
  const bool length_is_unit = is_unit(length);
  const bool force_or_length_scaled = !is_unit(force) || !length_is_unit;

  // Section outlines.
  if (model.shape_paths && !length_is_unit) {
    for (ShapePath& path : *model.shape_paths) {
      for (ShapeCommand& command : path.shape_commands) {
        scale(command.y, length);
        scale(command.z, length);
        scale(command.r, length);
        scale(command.control_y1, length);
        scale(command.control_z1, length);
        scale(command.control_y2, length);
        scale(command.control_z2, length);
      }
    }
  }

  // Support springs: force per length for displacements, force times length
  // per radian for rotations.
  if (force_or_length_scaled) {
    for (NodalSupport& support : model.nodal_supports) {
      for (auto& [axis, condition] : support.displacement_conditions)
        scale(condition.stiffness, force / length);
      for (auto& [axis, condition] : support.rotation_conditions) scale(condition.stiffness, force * length);
    }
  }

  // Geometry and section properties; h and b stay as given.
  if (!length_is_unit) {
    for (MemberSet& set : model.member_sets) {
      for (Member& member : set.members) {
        scale_node(member.start_node, length);
        scale_node(member.end_node, length);
      }
    }
    const double length2 = length * length;
    const double length4 = length2 * length2;
    for (Section& section : model.sections) {
      section.i_y *= length4;
      section.i_z *= length4;
      section.j *= length4;
      section.area *= length2;
    }
  }

  if (!is_unit(factors.pressure)) {
    for (Material& material : model.materials) {
      material.e_mod *= factors.pressure;
      material.g_mod *= factors.pressure;
      material.yield_stress *= factors.pressure;
    }
  }

  if (!is_unit(factors.density)) {
    for (Material& material : model.materials) material.density *= factors.density;
  }

  // Loads: forces by F, moments by F*L, line loads by F/L.
  if (force_or_length_scaled) {
    for (LoadCase& load_case : model.load_cases) {
      for (NodalLoad& load : load_case.nodal_loads) load.magnitude *= force;
      for (NodalMoment& moment : load_case.nodal_moments) moment.magnitude *= force * length;
      for (DistributedLoad& load : load_case.distributed_loads) {
        load.magnitude *= force / length;
        load.end_magnitude *= force / length;
      }
    }
  }

  // Hinge springs and capacities are scaled whatever the factors are.
  if (model.memberhinges) {
    for (MemberHinge& hinge : *model.memberhinges) {
      scale(hinge.translational_release_vx, force / length);
      scale(hinge.translational_release_vy, force / length);
      scale(hinge.translational_release_vz, force / length);
      scale(hinge.rotational_release_mx, force * length);
      scale(hinge.rotational_release_my, force * length);
      scale(hinge.rotational_release_mz, force * length);
      scale(hinge.max_tension_vx, force);
      scale(hinge.max_tension_vy, force);
      scale(hinge.max_tension_vz, force);
      scale(hinge.max_moment_mx, force * length);
      scale(hinge.max_moment_my, force * length);
      scale(hinge.max_moment_mz, force * length);
    }
  }
}

void results_to_document_units(Results& results, const UnitFactors& factors) {
  const double length = factors.length;
  const double force = factors.force;
  const double moment = force * length;

  for (auto& [node, displacement] : results.displacement_nodes) {
    displacement.dx /= length;
    displacement.dy /= length;
    displacement.dz /= length;
  }
  for (auto& [node, reaction] : results.reaction_nodes) {
    forces_to_document_units(reaction.nodal_forces, force, moment);
  }
  for (auto& [member, result] : results.member_results) {
    forces_to_document_units(result.start_node_forces, force, moment);
    forces_to_document_units(result.end_node_forces, force, moment);
    forces_to_document_units(result.maximums, force, moment);
    forces_to_document_units(result.minimums, force, moment);
  }
}

}  // namespace velk
