// The HTML report of the 100-member frame: writing the page from the
// inspected model (pictures, diagrams, tables), and the whole way from the
// model text (analysis and diagrams included), with the page's size. The
// frame's four load cases and three combinations, and a copy with 20 cases.

#include <benchmark/benchmark.h>

#include "document/document_io.hpp"
#include "inspection/inspection.hpp"
#include "report/html_report.hpp"
#include "support/frame_models.hpp"

namespace {

// The benchmark frame with load cases added until it has `cases` cases and
// combinations in all: copies of the dead and live loads, scaled.
std::string frame_text(int cases) {
  velk::VELK model = velk::test_support::frame_model();
  const int given = static_cast<int>(model.load_cases.size() + model.load_combinations.size());
  for (int k = 0; k < cases - given; ++k) {
    velk::LoadCase copy = model.load_cases[static_cast<std::size_t>(k % 2 == 0 ? 0 : 2)];
    copy.id = static_cast<std::uint32_t>(model.load_cases.size() + 1);
    copy.name = "Copy " + std::to_string(k + 1);
    for (velk::DistributedLoad& load : copy.distributed_loads) {
      load.load_case = copy.id;
      load.magnitude *= 1.0 + 0.1 * k;
      load.end_magnitude *= 1.0 + 0.1 * k;
    }
    model.load_cases.push_back(copy);
  }
  return velk::write_velk(model);
}

void BM_ReportWrite(benchmark::State& state) {
  const auto inspected = velk::inspect_model(frame_text(static_cast<int>(state.range(0))));
  if (!inspected) {
    state.SkipWithError(inspected.error().c_str());
    return;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string page = velk::report::report_html(*inspected);
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["cases"] =
      static_cast<double>(inspected->loadcases.size() + inspected->loadcombinations.size());
  state.counters["kB"] = static_cast<double>(bytes) / 1024.0;
}
BENCHMARK(BM_ReportWrite)->Arg(7)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_ReportFromModelText(benchmark::State& state) {
  const std::string text = frame_text(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto page = velk::report::report_html_from_json(text);
    if (!page) {
      state.SkipWithError(page.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(page->data());
  }
}
BENCHMARK(BM_ReportFromModelText)->Arg(7)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
