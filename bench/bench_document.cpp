// Reading and writing a 100-member 3D frame document.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "document/document_io.hpp"
#include "document/velk.hpp"

namespace {

using velk::VELK;

// A four-storey frame on a 4 x 4 column grid with beams along X, cut off at
// exactly 100 members (the top floor has columns only), with fixed supports,
// two load cases and a combination.
VELK frame_model() {
  VELK model;
  model.settings.analysis_options.tolerance = 1e-6;
  model.settings.general_info = {"Benchmark frame", "velk", "1"};
  model.materials.push_back(velk::Material{1, "S355", 2.1e11, 8.1e10, 7850.0, 3.55e8});
  model.sections.push_back(
      velk::Section{1, "HEA200", 1, 0.19, 0.2, 3.692e-5, 1.336e-5, 2.1e-7, 5.383e-3, {}});
  model.sections.push_back(
      velk::Section{2, "IPE300", 1, 0.3, 0.15, 8.356e-5, 6.04e-6, 2.01e-7, 5.381e-3, {}});

  velk::NodalSupport fixed;
  fixed.id = 1;
  for (const char* axis : {"X", "Y", "Z"}) {
    fixed.displacement_conditions[axis] = velk::SupportCondition{velk::ConditionType::Fixed, {}};
    fixed.rotation_conditions[axis] = velk::SupportCondition{velk::ConditionType::Fixed, {}};
  }
  model.nodal_supports.push_back(fixed);

  constexpr int grid = 4;  // nodes per direction in plan
  constexpr int levels = 5;
  const auto node = [&](int i, int k, int level) {
    velk::Node n;
    n.id = static_cast<std::uint32_t>(1 + i + grid * k + grid * grid * level);
    n.x = 6.0 * i + 0.125;
    n.y = 3.5 * level;
    n.z = 5.0 * k - 0.3;
    if (level == 0) n.nodal_support = 1;
    return n;
  };

  velk::MemberSet columns{1, 3.5, 3.5, "columns", {}};
  velk::MemberSet beams{2, 6.0, 6.0, "beams", {}};
  std::uint32_t id = 1;
  const auto add = [&](velk::MemberSet& set, velk::Node a, velk::Node b, std::uint32_t section) {
    velk::Member m;
    m.id = id++;
    m.start_node = a;
    m.end_node = b;
    m.section = section;
    m.rotation_angle = 0.0;
    m.classification = set.classification.value_or("");
    m.weight = 42.3;
    m.member_type = velk::MemberType::Normal;
    set.members.push_back(m);
  };
  for (int level = 0; level + 1 < levels && id <= 100; ++level) {
    for (int i = 0; i < grid; ++i)
      for (int k = 0; k < grid; ++k) add(columns, node(i, k, level), node(i, k, level + 1), 1);
    for (int i = 0; i + 1 < grid; ++i)
      for (int k = 0; k < grid && id <= 100; ++k)
        add(beams, node(i, k, level + 1), node(i + 1, k, level + 1), 2);
  }
  model.member_sets = {columns, beams};

  velk::LoadCase dead;
  dead.id = 1;
  dead.name = "Dead";
  velk::LoadCase wind;
  wind.id = 2;
  wind.name = "Wind";
  for (const velk::Member& beam : model.member_sets[1].members) {
    dead.distributed_loads.push_back(velk::DistributedLoad{beam.id, 1, -12.5, {0, 1, 0}, 0.0, 1.0, -12.5});
  }
  for (std::uint32_t n = 1; n <= 16; ++n) {
    wind.nodal_loads.push_back(velk::NodalLoad{n, n + 64, 2, 3.75, {1, 0, 0}, "wind"});
  }
  model.load_cases = {dead, wind};
  model.load_combinations.push_back(
      velk::LoadCombination{1, "ULS 1", {{1, 1.35}, {2, 1.5}}, "persistent", "ULS", velk::LimitState::ULS});
  return model;
}

const std::string& frame_text() {
  static const std::string text = velk::write_velk(frame_model());
  return text;
}

void BM_ReadDocument(benchmark::State& state) {
  const std::string& text = frame_text();
  for (auto _ : state) {
    auto model = velk::read_velk(text);
    benchmark::DoNotOptimize(model);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadDocument);

void BM_WriteDocument(benchmark::State& state) {
  const VELK model = frame_model();
  for (auto _ : state) {
    std::string text = velk::write_velk(model);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_WriteDocument);

void BM_ReadAndWriteDocument(benchmark::State& state) {
  const std::string& text = frame_text();
  for (auto _ : state) {
    auto model = velk::read_velk(text);
    if (!model) {
      state.SkipWithError(model.error().c_str());
      break;
    }
    std::string written = velk::write_velk(*model);
    benchmark::DoNotOptimize(written);
  }
}
BENCHMARK(BM_ReadAndWriteDocument);

}  // namespace
