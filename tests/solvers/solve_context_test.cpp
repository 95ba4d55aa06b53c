// Sharing work between the solves of one analysis changes no result.

#include "solvers/solve_context.hpp"

#include <gtest/gtest.h>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "support/frame_models.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

TEST(SolveContext, SharedFactorisationsGiveTheSameDocumentBitForBit) {
  for (const int members : {12, 40, 100}) {
    const std::string text = write_velk(test_support::frame_model({.members = members, .rigid_stubs = 2}));
    // Every solve with a context of its own: nothing is shared.
    SolverEntries unshared;
    unshared.load_case_linear = [](VELK& model, std::uint32_t id, SolveContext&) {
      SolveContext own(model);
      return solve_load_case_linear(model, id, own);
    };
    unshared.combination_linear = [](VELK& model, std::uint32_t id, SolveContext&) {
      SolveContext own(model);
      return solve_combination_linear(model, id, own);
    };
    const auto shared_text = calculate_from_json(text);
    const auto unshared_text = analyse_document(text, unshared);
    ASSERT_TRUE(shared_text.has_value()) << shared_text.error();
    ASSERT_TRUE(unshared_text.has_value()) << unshared_text.error();
    EXPECT_EQ(*shared_text, *unshared_text) << members << " members";
  }
}

TEST(SolveContext, OneFactorisationServesEveryCaseOfTheSameMatrix) {
  const VELK model = test_support::frame_model({.members = 60, .rigid_stubs = 2});
  SolveContext context(model);
  Eigen::VectorXd first;
  Eigen::VectorXd u;
  for (const std::uint32_t load_case : {1u, 2u, 3u, 4u, 1u}) {
    ASSERT_TRUE(context.first_order_displacements(assemble_load_vector(model, load_case), {}, u).has_value());
    if (load_case == 1 && first.size() == 0) first = u;
  }
  EXPECT_EQ(context.factorizations(), 1u);
  // Another set of switched-off members is another entry; the first is found again.
  ASSERT_TRUE(context.first_order_displacements(assemble_load_vector(model, 1), {{3, false}}, u).has_value());
  Eigen::VectorXd again;
  ASSERT_TRUE(
      context.first_order_displacements(assemble_load_vector(model, 1), {{3, true}}, again).has_value());
  EXPECT_EQ(context.factorizations(), 2u);
  EXPECT_EQ(again, first);
}

}  // namespace
}  // namespace velk
