// moonwisp-render run as a user runs it: the picture it writes, the frames of
// --every, repeatable output, and argument errors that write nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/gl/png_image.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string scratch(const std::string& name) {
  return testing::TempDir() + "render_tool_" + std::to_string(getpid()) + "_" + name;
}

ToolRun render(const std::string& args) {
  const std::string out = scratch("stdout"), err = scratch("stderr");
  const std::string command = std::string(MOONWISP_RENDER_PATH) + " " + args + " >" + out + " 2>" + err;
  const int raw = std::system(command.c_str());
  ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(RenderTool, WritesTheLastFrameAndTheSameArgumentsGiveTheSamePicture) {
  const std::string a = scratch("a.png"), b = scratch("b.png");
  const std::string args = " --seed 9 --quantity 60 --color 2 --glow 1 --width 320 --height 200 --frames 30 --out ";
  const ToolRun first = render(args + a);
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(render(args + b).status, 0);
  const moonwisp::RasterImage picture = moonwisp::loadPngImage(a);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 200);
  EXPECT_FALSE(picture.hasAlpha);
  int lit = 0;
  for (uint8_t v : picture.pixels) lit += v > 30;
  EXPECT_GT(lit, 300);
  EXPECT_EQ(slurp(a), slurp(b));
  std::remove(a.c_str());
  std::remove(b.c_str());
}

TEST(RenderTool, EveryKthFrameGoesIntoTheFolderAndBenchPrintsFigures) {
  const std::string dir = scratch("frames");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string out = scratch("last.png");
  const ToolRun run = render("--seed 2 --quantity 20 --color 0 --glow 0 --width 64 --height 48 --frames 7 --dt 40000 --every 3 --out-dir " +
                         dir + " --out " + out + " --bench");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(exists(dir + "/frame000003.png"));
  EXPECT_TRUE(exists(dir + "/frame000006.png"));
  EXPECT_FALSE(exists(dir + "/frame000007.png"));
  EXPECT_TRUE(exists(out));
  EXPECT_NE(run.out.find("update"), std::string::npos);
  EXPECT_NE(run.out.find("glow passes"), std::string::npos);
  EXPECT_NE(run.out.find("own CPU"), std::string::npos);
  std::remove((dir + "/frame000003.png").c_str());
  std::remove((dir + "/frame000006.png").c_str());
  rmdir(dir.c_str());
  std::remove(out.c_str());
}

TEST(RenderTool, BadArgumentsExitTwoWithAMessageAndWriteNothing) {
  const std::string out = scratch("never.png");
  const std::string rest = " --out " + out;
  for (const std::string& args : {std::string("--frames 0") + rest, std::string("--width 0") + rest,
                                  std::string("--height 99999") + rest, std::string("--color 8") + rest,
                                  std::string("--glow 2") + rest, std::string("--quantity -1") + rest,
                                  std::string("--dt 0") + rest, std::string("--seed x") + rest,
                                  std::string("--frames 2 --every 1") + rest, std::string("--bogus") + rest,
                                  std::string("--frames 2"), std::string("--out /nonexistent/dir/x.png"),
                                  std::string("--every 1 --out-dir /nonexistent/dir") + rest}) {
    const ToolRun run = render(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("moonwisp-render: "), std::string::npos) << args;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << args;
    EXPECT_FALSE(exists(out)) << args;
  }
}
