// Models beyond the module's 100 members, through the front ends' member
// limit: a generated braced building of about 2,000 members is in balance
// in every case and combination, its storey shears are the wind above them,
// and the analysis of a 10,000-member building needs memory in proportion
// to its size (a table of the square of its unknowns would not fit).

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "analysis/driver.hpp"
#include "base/message_format.hpp"
#include "results/equilibrium.hpp"
#include "support/frame_models.hpp"

namespace velk {
namespace {

using test_support::building_members;
using test_support::building_model;
using test_support::building_of_about;
using test_support::BuildingOptions;

TEST(LargeModels, TheMemberLimitOfAFrontEndNamesItsOptionAndTheModuleKeepsItsOwn) {
  const BuildingOptions shape{4, 2, 2};
  VELK model = building_model(shape);
  const std::size_t members = static_cast<std::size_t>(building_members(shape));
  ASSERT_GT(members, max_member_count);
  EXPECT_EQ(check_member_count(model).error(),
            format_message("Number of members ({}) exceeds allowed maximum of 100", members));
  EXPECT_EQ(check_member_count(model, MemberLimit{members - 1, "--max-members"}).error(),
            format_message(
                "Number of members ({}) exceeds allowed maximum of {}; raise the limit with --max-members",
                members, members - 1));
  EXPECT_TRUE(check_member_count(model, MemberLimit{members, "--max-members"}).has_value());
  // The module's path is the default limit, whose message names no option.
  EXPECT_EQ(analyse_model(model).error(),
            format_message("Number of members ({}) exceeds allowed maximum of 100", members));
}

TEST(LargeModels, ABuildingOfTwoThousandMembersIsInBalanceAndItsStoreysCarryTheWindAbove) {
  const BuildingOptions shape = building_of_about(2000);
  VELK model = building_model(shape);
  const std::size_t members = static_cast<std::size_t>(building_members(shape));
  ASSERT_GE(members, 2000u);
  ASSERT_EQ(members, member_count(model));
  ASSERT_TRUE(analyse_model(model, SolverEntries{}, MemberLimit{members, "--max-members"}).has_value());
  ASSERT_TRUE(model.results.has_value());
  const UnitFactors factors = unit_factors(model.settings.unit_settings);

  const auto& cases = model.results->loadcases;
  const auto& combinations = model.results->loadcombinations;
  ASSERT_EQ(cases.size(), 4u);
  ASSERT_EQ(combinations.size(), 3u);
  for (const auto* group : {&cases, &combinations}) {
    for (const auto& [name, results] : *group) {
      const EquilibriumBalance balance =
          equilibrium_balance(model, results.result_type, results, factors, BalanceUnits::Base);
      ASSERT_GT(balance.scale, 0.0) << name;
      for (int k = 0; k < 6; ++k)
        EXPECT_LE(std::fabs(balance.residual(k)), 1e-9 * balance.scale) << name << " " << k;
    }
  }

  // Wind X: every column and brace of a storey is cut by a level plane; the
  // X forces at their lower ends add up to the wind on the floors above.
  const Results& wind = cases.at("Wind X");
  for (int storey = 1; storey <= shape.storeys; ++storey) {
    const double below = test_support::building_storey_height * (storey - 1);
    double shear = 0.0;
    for (const std::size_t set : {0u, 2u}) {
      for (const Member& member : model.member_sets[set].members) {
        if (std::fabs(member.start_node.z - below) > 1e-9) continue;
        // End forces are written in global components.
        shear += wind.member_results.at(member.id).start_node_forces.fx * factors.force;
      }
    }
    const double above = test_support::building_wind_x * (shape.bays_y + 1) * (shape.storeys - storey + 1);
    EXPECT_NEAR(std::fabs(shear), above, 1e-8 * above) << "storey " << storey;
  }
}

// The peak resident memory of a child process that analyses a building of
// about `members` members, in bytes.
long peak_memory_of_analysis(int members) {
  const pid_t child = fork();
  if (child == 0) {
    const BuildingOptions shape = building_of_about(members);
    VELK model = building_model(shape);
    const std::size_t count = static_cast<std::size_t>(building_members(shape));
    const bool analysed =
        analyse_model(model, SolverEntries{}, MemberLimit{count, "--max-members"}).has_value();
    _exit(analysed ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -2;
  return usage.ru_maxrss * 1024L;  // kilobytes on Linux
}

TEST(LargeModels, TheAnalysisOfTenThousandMembersNeedsMemoryInProportionToItsSize) {
  // About 21,000 unknowns: a table of their square in 32-bit slots alone
  // would take 1.8 GB, a dense copy of the stiffness 3.5 GB. The whole
  // analysis, with the model and its seven results, takes a small part of
  // the bound (which leaves room for sanitizer builds).
  const long peak = peak_memory_of_analysis(10000);
  ASSERT_GT(peak, 0) << "the analysis in the child process failed (" << peak << ")";
  EXPECT_LT(peak, 1200L << 20) << "peak resident memory " << (peak >> 20) << " MB";
}

}  // namespace
}  // namespace velk
