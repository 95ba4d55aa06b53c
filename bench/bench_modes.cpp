// Six natural modes of the 100-member benchmark frame, with consistent and
// with lumped mass, beside the frame's first-order analysis in the same run
// (the modes read the same text; the analysis also writes its results).

#include <benchmark/benchmark.h>

#include <string>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "dynamics/modal_analysis.hpp"
#include "support/frame_models.hpp"

namespace {

const std::string& frame_text() {
  static const std::string text = velk::write_velk(velk::test_support::frame_model({.rigid_stubs = 4}));
  return text;
}

void BM_ModesFrameLinearAnalysis(benchmark::State& state) {
  for (auto _ : state) {
    auto written = velk::calculate_from_json(frame_text());
    if (!written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(written->data());
  }
}
BENCHMARK(BM_ModesFrameLinearAnalysis)->Unit(benchmark::kMillisecond);

void modes(benchmark::State& state, velk::MassKind mass) {
  velk::ModalOptions options;
  options.modes = 6;
  options.mass = mass;
  int attempts = 0;
  for (auto _ : state) {
    auto model = velk::read_velk(frame_text());
    if (!model) {
      state.SkipWithError(model.error().c_str());
      break;
    }
    auto found = velk::modal_analysis_of_document(*model, options);
    if (!found) {
      state.SkipWithError(found.error().c_str());
      break;
    }
    attempts = found->solver_attempts;
    benchmark::DoNotOptimize(found->modes.data());
  }
  state.counters["lanczos_attempts"] = attempts;
}

void BM_ModesFrameConsistent(benchmark::State& state) { modes(state, velk::MassKind::Consistent); }
BENCHMARK(BM_ModesFrameConsistent)->Unit(benchmark::kMillisecond);

void BM_ModesFrameLumped(benchmark::State& state) { modes(state, velk::MassKind::Lumped); }
BENCHMARK(BM_ModesFrameLumped)->Unit(benchmark::kMillisecond);

}  // namespace
