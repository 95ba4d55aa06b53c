#pragma once
// The report's section of natural modes: the table of the modes with their
// effective masses and pictures of the first mode shapes.

#include <string>

#include "inspection/modal_inspection.hpp"
#include "report/scene.hpp"

namespace velk::report {

// How many mode shapes the section draws at most.
inline constexpr std::size_t drawn_mode_shapes = 4;

// The section: <section class="modes">, its table and its pictures (each an
// <svg class="view mode"> with every member as a path of class "member").
std::string modes_section(const Scene& scene, const InspectedModes& modes);

// The section of a modal analysis that failed: the engine's message.
std::string modes_failure_section(const std::string& message);

// One mode shape in the isometric view over the undeformed structure: beam
// members bent by the cubic shapes of their end displacements and
// rotations, the others straight between their displaced nodes.
std::string mode_shape_picture(const Scene& scene, const InspectedModes& modes, std::size_t index);

}  // namespace velk::report
