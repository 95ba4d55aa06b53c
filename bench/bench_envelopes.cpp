// Envelopes of the 100-member frame (4 load cases, 3 combinations): the
// envelope itself over the inspected model, and the whole of `velk envelope
// --json` from the model text (analysis, diagrams, envelope, JSON). The
// analysis alone is BM_AnalyseFrameLinear/100, its front end BM_InspectModel.

#include <benchmark/benchmark.h>

#include "document/document_io.hpp"
#include "inspection/inspection.hpp"
#include "support/frame_models.hpp"

namespace {

std::string frame_text() { return velk::write_velk(velk::test_support::frame_model({.members = 100})); }

// The envelope of every case and combination of a model already analysed
// and inspected, at range(0) stations per member.
void BM_EnvelopeOfInspectedFrame(benchmark::State& state) {
  const auto inspected = velk::inspect_model(frame_text());
  if (!inspected || inspected->analysis_error) {
    state.SkipWithError("the frame did not solve");
    return;
  }
  velk::EnvelopeSelection selection;
  selection.with_cases = true;
  const int stations = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const auto envelope = velk::inspected_envelope(*inspected, selection, stations);
    benchmark::DoNotOptimize(envelope.has_value());
  }
  state.counters["cases"] =
      static_cast<double>(inspected->loadcases.size() + inspected->loadcombinations.size());
}
BENCHMARK(BM_EnvelopeOfInspectedFrame)->Arg(11)->Arg(101)->Arg(1001)->Unit(benchmark::kMillisecond);

// The same envelope written as JSON.
void BM_EnvelopeJsonOfInspectedFrame(benchmark::State& state) {
  const auto inspected = velk::inspect_model(frame_text());
  if (!inspected || inspected->analysis_error) {
    state.SkipWithError("the frame did not solve");
    return;
  }
  const auto envelope =
      velk::inspected_envelope(*inspected, {{}, {}, true}, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::string json = velk::envelope_to_json(*inspected, *envelope);
    benchmark::DoNotOptimize(json.data());
  }
}
BENCHMARK(BM_EnvelopeJsonOfInspectedFrame)->Arg(11)->Unit(benchmark::kMillisecond);

// What `velk envelope FRAME.json --json` computes: from the model text to
// the JSON of the envelope of the three combinations.
void BM_EnvelopeCommand(benchmark::State& state) {
  const std::string text = frame_text();
  for (auto _ : state) {
    const auto json = velk::envelope_json(text, {}, velk::default_envelope_stations);
    if (!json) {
      state.SkipWithError(json.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(json->data());
  }
}
BENCHMARK(BM_EnvelopeCommand)->Unit(benchmark::kMillisecond);

}  // namespace
