// Writes the seed models of the fuzz corpora into a directory: the test
// suite's documents and small generated frames in several variants (units,
// rigid strategy, tension-only braces, hinges, springs, second order).

#include <cstdio>
#include <fstream>
#include <string>

#include "document/document_io.hpp"
#include "support/document_text.hpp"
#include "support/frame_models.hpp"
#include "support/model_text.hpp"

namespace {

int written = 0;

bool put(const std::string& directory, const std::string& name, std::string_view text) {
  std::ofstream out(directory + "/" + name, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  ++written;
  return static_cast<bool>(out);
}

velk::VELK frame(int members, int rigid_stubs) {
  return velk::test_support::frame_model({.members = members, .rigid_stubs = rigid_stubs});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;

  ok &= put(dir, "minimal.json", velk::test_support::minimal_document);
  ok &= put(dir, "minimal_written.json", velk::test_support::minimal_document_written);
  ok &= put(dir, "full_written.json", velk::test_support::full_document_written);

  velk::test_support::ModelText row;
  row.members = 3;
  row.load_case_ids = {1, 2};
  row.combination_ids = {1};
  ok &= put(dir, "row.json", row.text());
  row.unit_settings = R"({"lengthUnit":"mm","forceUnit":"kN","pressureUnit":"MPa"})";
  row.order = "NONLINEAR";
  row.max_iterations = "5";
  ok &= put(dir, "row_nonlinear_mm.json", row.text());

  for (const int members : {2, 5, 12, 30}) {
    ok &= put(dir, "frame_" + std::to_string(members) + ".json", velk::write_velk(frame(members, 1)));
  }

  velk::VELK model = frame(8, 2);
  model.settings.unit_settings.length_unit = velk::LengthUnit::Mm;
  model.settings.unit_settings.force_unit = velk::ForceUnit::KN;
  ok &= put(dir, "frame_mm_kn.json", velk::write_velk(model));

  model = frame(8, 2);
  model.settings.analysis_options.rigid_strategy = velk::RigidStrategy::RigidMember;
  ok &= put(dir, "frame_rigid_member.json", velk::write_velk(model));

  model = frame(14, 0);
  for (velk::Member& brace : model.member_sets[2].members) brace.member_type = velk::MemberType::Tension;
  if (!model.member_sets[1].members.empty())
    model.member_sets[1].members[0].member_type = velk::MemberType::Compression;
  ok &= put(dir, "frame_tension_braces.json", velk::write_velk(model));

  model = frame(10, 0);
  velk::MemberHinge pin;
  pin.id = 1;
  pin.hinge_type = "pin";
  pin.rotational_release_my = 0.0;
  pin.rotational_release_mz = 2.5e3;
  model.memberhinges = std::vector<velk::MemberHinge>{pin};
  for (velk::Member& beam : model.member_sets[1].members) beam.end_hinge = 1;
  velk::NodalSupport spring = model.nodal_supports[0];
  spring.id = 2;
  spring.displacement_conditions["Z"] = {velk::ConditionType::Spring, 1e7};
  spring.rotation_conditions["X"] = {velk::ConditionType::Free, {}};
  model.nodal_supports.push_back(spring);
  model.member_sets[0].members[0].start_node.nodal_support = 2;
  ok &= put(dir, "frame_hinges_springs.json", velk::write_velk(model));

  model = frame(6, 1);
  model.settings.analysis_options.order = velk::AnalysisOrder::Nonlinear;
  model.settings.analysis_options.max_iterations = 10;
  ok &= put(dir, "frame_second_order.json", velk::write_velk(model));

  if (!ok) {
    std::fprintf(stderr, "could not write the seeds into %s\n", dir.c_str());
    return 1;
  }
  std::printf("%d seeds written to %s\n", written, dir.c_str());
  return 0;
}
