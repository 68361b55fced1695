// moonwisp-sim run as a user runs it: the summary and argument errors. Its
// dump is checked bit for bit against an independent model by
// SimTool.MatchesIndependentModelBitForBit (tools/crosscheck).
#include <gtest/gtest.h>

#include "support/process.h"

namespace {

moonwisp::test::ChildResult sim(std::vector<std::string> args) {
  args.insert(args.begin(), MOONWISP_SIM_PATH);
  return moonwisp::test::runChild(args);
}

// That the same arguments give the same dump is the cross-check's to see.
TEST(SimTool, SummaryIsShortAndNoDumpPrintsNothing) {
  const auto summary = sim({"--seed", "3", "--quantity", "20", "--color", "2", "--steps", "60", "--summary"});
  for (const char* line : {"butterflies:        20", "scheme now:  2 (yellow)", "simulated seconds:  1.000"})
    EXPECT_NE(summary.out.find(line), std::string::npos) << summary.out;
  EXPECT_EQ(sim({"--seed", "3", "--steps", "5", "--no-dump"}).out, "");
}

TEST(SimTool, BadArgumentsExitTwoWithOneLineNamingTheArgument) {
  const std::vector<std::vector<std::string>> cases = {
      {"--quantity", "100001"}, {"--quantity", "ten"}, {"--dt", "16667,-5"}, {"--dt"},
      {"--color", "8"},         {"--width", "0"},      {"--steps", "x"},      {"--frobnicate"}};
  for (const auto& args : cases) {
    const auto r = sim(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_NE(r.err.find(args[0]), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

}  // namespace
