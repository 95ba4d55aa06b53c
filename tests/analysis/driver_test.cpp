// The analysis driver: the member limit, dispatch in document and analysis
// order, the wrapping of solver messages, unit conversion back, its log lines.

#include "analysis/driver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.hpp"
#include "document/document_io.hpp"
#include "support/frame_models.hpp"
#include "support/log_capture.hpp"
#include "support/model_text.hpp"

namespace velk {
namespace {

using test_support::LogCapture;
using test_support::ModelText;

// Solver entries that store a small results record in base units and write
// down every call.
struct FakeSolvers {
  std::vector<std::string> calls;
  std::string fail_at;  // the call that answers with a message
  double seen_first_x = 0.0;

  static Results record(const std::string& name, ResultType::Kind kind, std::uint32_t id) {
    Results results;
    results.name = name;
    results.result_type = ResultType{kind, id};
    results.displacement_nodes[2] = NodeDisplacement{0.002, 0.0, -0.001, 0.01, 0.0, 0.0};
    ReactionNodeResult reaction;
    reaction.nodal_forces = NodeForces{1000.0, 0.0, 0.0, 0.0, 0.0, 4000.0};
    reaction.location = NodeLocation{1.0, 0.0, 0.0};
    reaction.support_id = 1;
    results.reaction_nodes[1] = reaction;
    results.member_results[1] = MemberResult{NodeForces{1000.0, 0, 0, 0, 0, 4000.0}, NodeForces{},
                                             NodeForces{1000.0, 0, 0, 0, 0, 4000.0}, NodeForces{}};
    results.summary = ResultsSummary{1, 1, 1};
    results.computed_in_base_units = true;
    return results;
  }

  std::expected<Results, std::string> solve(VELK& model, const std::string& call, bool combination,
                                            std::uint32_t id) {
    calls.push_back(call);
    seen_first_x = model.member_sets[0].members[0].end_node.x;
    if (call == fail_at) return std::unexpected("singular stiffness matrix");
    if (!model.results) model.results = ResultsBundle{};
    const std::string name = (combination ? "CO" : "LC") + std::to_string(id);
    Results results =
        record(name, combination ? ResultType::Kind::Loadcombination : ResultType::Kind::Loadcase, id);
    (combination ? model.results->loadcombinations : model.results->loadcases)[name] = results;
    return results;
  }

  SolverEntries entries() {
    SolverEntries out;
    out.load_case_linear = [this](VELK& model, std::uint32_t id, SolveContext&) {
      return solve(model, "case linear " + std::to_string(id), false, id);
    };
    out.load_case_second_order = [this](VELK& model, std::uint32_t id, std::uint32_t limit, SolveContext&) {
      return solve(model, "case second-order " + std::to_string(id) + " limit " + std::to_string(limit),
                   false, id);
    };
    out.combination_linear = [this](VELK& model, std::uint32_t id, SolveContext&) {
      return solve(model, "combination linear " + std::to_string(id), true, id);
    };
    out.combination_second_order = [this](VELK& model, std::uint32_t id, std::uint32_t limit, SolveContext&) {
      return solve(model,
                   "combination second-order " + std::to_string(id) + " limit " + std::to_string(limit), true,
                   id);
    };
    return out;
  }
};

TEST(Driver, BadJsonInputCarriesTheReaderMessage) {
  const auto empty_object = calculate_from_json("{}");
  ASSERT_FALSE(empty_object.has_value());
  EXPECT_EQ(empty_object.error(), "Bad JSON input: missing field `member_sets` at line 1 column 2");

  const auto empty_text = calculate_from_json("");
  ASSERT_FALSE(empty_text.has_value());
  EXPECT_EQ(empty_text.error(), "Bad JSON input: EOF while parsing a value at line 1 column 0");
}

TEST(Driver, MemberCountLimitIsOneHundred) {
  FakeSolvers solvers;
  ModelText model;
  model.load_case_ids = {1};

  model.members = 101;
  const auto rejected = analyse_document(model.text(), solvers.entries());
  ASSERT_FALSE(rejected.has_value());
  EXPECT_EQ(rejected.error(), "Number of members (101) exceeds allowed maximum of 100");
  EXPECT_TRUE(solvers.calls.empty());

  model.members = 100;
  const auto accepted = analyse_document(model.text(), solvers.entries());
  ASSERT_TRUE(accepted.has_value()) << accepted.error();
  EXPECT_EQ(solvers.calls, std::vector<std::string>{"case linear 1"});
}

TEST(Driver, ModelWithoutCasesIsWrittenBackWithNullResults) {
  ModelText model;
  const auto written = calculate_from_json(model.text());
  ASSERT_TRUE(written.has_value()) << written.error();
  EXPECT_NE(written->find("\"results\":null"), std::string::npos);
  // Written in base units, compact.
  EXPECT_EQ(written->find(' '), std::string::npos);
  const auto reread = read_velk(*written);
  ASSERT_TRUE(reread.has_value()) << reread.error();
  EXPECT_FALSE(reread->results.has_value());
}

TEST(Driver, DispatchFollowsDocumentOrderAndAnalysisOrder) {
  ModelText model;
  model.load_case_ids = {3, 1, 2};
  model.combination_ids = {7, 5};

  FakeSolvers linear;
  ASSERT_TRUE(analyse_document(model.text(), linear.entries()).has_value());
  EXPECT_EQ(linear.calls, (std::vector<std::string>{"case linear 3", "case linear 1", "case linear 2",
                                                    "combination linear 7", "combination linear 5"}));

  // Without max_iterations the second-order entries get 20.
  model.order = "Nonlinear";
  FakeSolvers second_order;
  ASSERT_TRUE(analyse_document(model.text(), second_order.entries()).has_value());
  EXPECT_EQ(second_order.calls,
            (std::vector<std::string>{"case second-order 3 limit 20", "case second-order 1 limit 20",
                                      "case second-order 2 limit 20", "combination second-order 7 limit 20",
                                      "combination second-order 5 limit 20"}));

  model.max_iterations = "7";
  FakeSolvers limited;
  ASSERT_TRUE(analyse_document(model.text(), limited.entries()).has_value());
  EXPECT_EQ(limited.calls.back(), "combination second-order 5 limit 7");

  // Combinations are solved even when load cases are not.
  model.solve_loadcases = false;
  FakeSolvers combinations_only;
  const auto written = analyse_document(model.text(), combinations_only.entries());
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(combinations_only.calls, (std::vector<std::string>{"combination second-order 7 limit 7",
                                                               "combination second-order 5 limit 7"}));
  const auto reread = read_velk(*written);
  ASSERT_TRUE(reread.has_value()) << reread.error();
  ASSERT_TRUE(reread->results.has_value());
  EXPECT_TRUE(reread->results->loadcases.empty());
  EXPECT_EQ(reread->results->loadcombinations.size(), 2u);
}

TEST(Driver, FirstSolverErrorEndsTheCallWithItsWrapping) {
  struct Case {
    std::string order;
    std::string fail_at;
    std::string message;
    std::size_t calls;
  };
  const std::vector<Case> cases = {
      {"LINEAR", "case linear 2", "LC 2 linear error: singular stiffness matrix", 2},
      {"NONLINEAR", "case second-order 2 limit 20", "LC 2 second-order error: singular stiffness matrix", 2},
      {"LINEAR", "combination linear 9", "Combo 9 linear error: singular stiffness matrix", 4},
      {"nonlinear", "combination second-order 9 limit 20",
       "Combo 9 second-order error: singular stiffness matrix", 4},
  };
  for (const Case& c : cases) {
    ModelText model;
    model.load_case_ids = {1, 2, 3};
    model.combination_ids = {9, 10};
    model.order = c.order;
    FakeSolvers solvers;
    solvers.fail_at = c.fail_at;
    const auto outcome = analyse_document(model.text(), solvers.entries());
    ASSERT_FALSE(outcome.has_value()) << c.fail_at;
    EXPECT_EQ(outcome.error(), c.message);
    EXPECT_EQ(solvers.calls.size(), c.calls) << c.fail_at;
  }

  // The engine's own entries report through the same wrapping (here for a
  // model whose node ids have a gap).
  ModelText model;
  model.load_case_ids = {4};
  std::string text = model.text();
  const std::string end_node = "\"end_node\":{\"id\":2,";
  text.replace(text.find(end_node), end_node.size(), "\"end_node\":{\"id\":3,");
  const auto outcome = calculate_from_json(text);
  ASSERT_FALSE(outcome.has_value());
  EXPECT_EQ(outcome.error().rfind("LC 4 linear error: ", 0), 0u) << outcome.error();
}

TEST(Driver, OnlyResultsSolvedInThisCallAreConvertedBack) {
  // A document in mm and kN that already carries a result in its own units.
  const std::string carried =
      "{\"name\":\"old\",\"result_type\":{\"Loadcase\":9},"
      "\"displacement_nodes\":{\"2\":{\"dx\":2.0,\"dy\":0.0,\"dz\":0.0,\"rx\":0.0,\"ry\":0.0,\"rz\":0.0}},"
      "\"reaction_nodes\":{},\"member_results\":{},"
      "\"summary\":{\"total_displacements\":1,\"total_reaction_forces\":0,\"total_member_forces\":0}}";
  ModelText model;
  model.unit_settings = "{\"lengthUnit\":\"mm\",\"forceUnit\":\"kN\"}";
  model.load_case_ids = {1};
  model.combination_ids = {2};
  model.results = "{\"loadcases\":{\"old\":" + carried + "},\"loadcombinations\":{}}";

  FakeSolvers solvers;
  const auto written = analyse_document(model.text(), solvers.entries());
  ASSERT_TRUE(written.has_value()) << written.error();
  // The solvers saw the model in metres.
  EXPECT_EQ(solvers.seen_first_x, 1.0);

  const auto reread = read_velk(*written);
  ASSERT_TRUE(reread.has_value()) << reread.error();
  const ResultsBundle& bundle = *reread->results;
  EXPECT_EQ(bundle.loadcases.at("old").displacement_nodes.at(2).dx, 2.0);

  for (const Results* results : {&bundle.loadcases.at("LC1"), &bundle.loadcombinations.at("CO2")}) {
    const NodeDisplacement& d = results->displacement_nodes.at(2);
    EXPECT_DOUBLE_EQ(d.dx, 2.0);  // 0.002 m in mm
    EXPECT_DOUBLE_EQ(d.dz, -1.0);
    EXPECT_EQ(d.rx, 0.01);
    const ReactionNodeResult& reaction = results->reaction_nodes.at(1);
    EXPECT_DOUBLE_EQ(reaction.nodal_forces.fx, 1.0);     // kN
    EXPECT_DOUBLE_EQ(reaction.nodal_forces.mz, 4000.0);  // kN*mm
    EXPECT_EQ(reaction.location.x, 1.0);                 // stays in metres
    EXPECT_DOUBLE_EQ(results->member_results.at(1).start_node_forces.fx, 1.0);
    EXPECT_DOUBLE_EQ(results->member_results.at(1).maximums.mz, 4000.0);
  }
  // Geometry stays in base units.
  EXPECT_EQ(reread->member_sets[0].members[0].end_node.x, 1.0);
  EXPECT_EQ(reread->settings.unit_settings.length_unit, LengthUnit::Mm);
}

TEST(Driver, LogsConfigurationSummaryAndEverySolve) {
  ModelText model;
  model.members = 2;
  model.load_case_ids = {1, 2};
  model.combination_ids = {3};
  model.tolerance = "1";
  {
    LogCapture capture;
    FakeSolvers solvers;
    ASSERT_TRUE(analyse_document(model.text(), solvers.entries()).has_value());
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{
                  "Analysis configuration → order=Linear, rigid_strategy=LinearMpc, solve_loadcases=true, "
                  "max_iterations=20, tolerance=1",
                  "Model summary → member_sets=1, members_total=2, load_cases=2, load_combinations=1",
                  "Solving load case 1 with first-order (linear).",
                  "Solving load case 2 with first-order (linear).",
                  "Solving load combination 3 with first-order (linear).",
              }));
    for (std::size_t i = 0; i < capture.lines.size(); ++i) {
      EXPECT_EQ(capture.targets[i], "velk_calculations::analysis");
      EXPECT_EQ(capture.levels[i], log::Level::Info);
    }
  }

  model.order = "NONLINEAR";
  model.rigid_strategy = "rigid_member";
  model.solve_loadcases = false;
  model.max_iterations = "50";
  model.tolerance = "1e-7";
  {
    LogCapture capture;
    FakeSolvers solvers;
    ASSERT_TRUE(analyse_document(model.text(), solvers.entries()).has_value());
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{
                  "Analysis configuration → order=Nonlinear, rigid_strategy=RigidMember, "
                  "solve_loadcases=false, max_iterations=50, tolerance=0.0000001",
                  "Model summary → member_sets=1, members_total=2, load_cases=2, load_combinations=1",
                  "Solving load combination 3 with second-order (Newton–Raphson), tolerance=0.0000001, "
                  "max_iterations=50",
              }));
  }

  // With the facade switched off nothing reaches the sink.
  LogCapture off(log::Level::Off);
  FakeSolvers solvers;
  ASSERT_TRUE(analyse_document(model.text(), solvers.entries()).has_value());
  EXPECT_TRUE(off.lines.empty());
}

// The entry on a parsed model is the analysis of the text: written, the
// analysed model is the document calculate_from_json returns, for the linear
// and the second-order solvers alike.
TEST(Driver, AnalysingTheParsedModelGivesTheDocumentOfItsText) {
  for (const AnalysisOrder order : {AnalysisOrder::Linear, AnalysisOrder::Nonlinear}) {
    VELK frame = test_support::frame_model({.members = 24, .rigid_stubs = 2});
    frame.settings.analysis_options.order = order;
    const std::string text = write_velk(frame);
    auto parsed = read_velk(text);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    const auto analysed = analyse_model(*parsed);
    ASSERT_TRUE(analysed.has_value()) << analysed.error();
    const auto written = calculate_from_json(text);
    ASSERT_TRUE(written.has_value()) << written.error();
    EXPECT_EQ(write_velk(*parsed), *written);
  }
}

}  // namespace
}  // namespace velk
