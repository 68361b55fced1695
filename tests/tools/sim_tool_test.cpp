// moonwisp-sim run as a user runs it: its output, its exit status, its errors.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct SimRun {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

SimRun sim(const std::string& args) {
  // Tests run in parallel processes: the capture files carry the process id.
  static int calls = 0;
  const std::string base = ::testing::TempDir() + "/moonwisp-sim-" + std::to_string(getpid()) + "-" +
                           std::to_string(++calls);
  const std::string out = base + ".out", err = base + ".err";
  const std::string cmd = std::string(MOONWISP_SIM_PATH) + " " + args + " >" + out + " 2>" + err;
  const int raw = std::system(cmd.c_str());
  SimRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

TEST(SimTool, SameArgumentsGiveTheSameDumpAndOtherSeedsDiffer) {
  const std::string args = "--seed 42 --quantity 220 --color 7 --glow 0 --width 1920 --height 1200 --steps 500 --dt 16667,1,40000";
  const SimRun a = sim(args), b = sim(args);
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out.find("\"color_cycle_time\":5000000"), std::string::npos);
  EXPECT_NE(a.out.find("\"screen_width\":1920"), std::string::npos);
  const SimRun c = sim("--seed 43 --quantity 220 --color 7 --glow 0 --width 1920 --height 1200 --steps 500 --dt 16667,1,40000");
  EXPECT_NE(a.out, c.out);
}

TEST(SimTool, DumpNamesEveryFieldAndPrintsFloatsToNineDigits) {
  const SimRun r = sim("--seed 1 --quantity 2 --color 0 --glow 1 --width 640 --height 480 --steps 0 --dt 16667");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* key : {"color_type", "speed", "max_y", "min_y", "min_x", "max_x", "max_z", "min_z",
                          "butterfly_size", "color_from", "color_to", "color_scheme", "next_color_scheme",
                          "color_cycle_elapsed", "color_fade_time", "color_cycle_time", "color_cycling", "glow",
                          "butterflies", "color_mix", "fade_rate", "flap_angle", "flap_rate", "position",
                          "direction", "flock_direction", "facing", "velocity", "max_speed", "max_force",
                          "active", "curr_bin", "bins"}) {
    EXPECT_NE(r.out.find(std::string("\"") + key + "\":"), std::string::npos) << key;
  }
  EXPECT_NE(r.out.find("\"min_x\":-0.340000004"), std::string::npos);
  EXPECT_NE(r.out.find("\"butterfly_size\":0.119999997"), std::string::npos);
  EXPECT_NE(r.out.find("\"color_from\":[0.319999993,0.699999988,0.180000007]"), std::string::npos);
}

TEST(SimTool, SummaryIsShortAndHuman) {
  const SimRun r = sim("--seed 3 --quantity 20 --color 2 --glow 0 --width 100 --height 100 --steps 60 --dt 16667 --summary");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("butterflies:        20"), std::string::npos);
  EXPECT_NE(r.out.find("colour scheme now:  2 (yellow)"), std::string::npos);
  EXPECT_NE(r.out.find("simulated seconds:  1.000"), std::string::npos);
  EXPECT_EQ(sim("--seed 3 --quantity 20 --steps 5 --no-dump").out, "");
}

TEST(SimTool, BadArgumentsExitTwoWithOneLineNamingTheArgument) {
  struct Case {
    const char* args;
    const char* named;
  } cases[] = {
      {"--quantity 100001", "--quantity"}, {"--quantity -1", "--quantity"}, {"--quantity ten", "--quantity"},
      {"--dt 0", "--dt"},                  {"--dt 16667,-5", "--dt"},       {"--dt", "--dt"},
      {"--seed", "--seed"},                {"--color 8", "--color"},        {"--glow 2", "--glow"},
      {"--width 0", "--width"},            {"--steps x", "--steps"},        {"--frobnicate", "--frobnicate"},
  };
  for (const Case& c : cases) {
    const SimRun r = sim(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
  }
}

}  // namespace
