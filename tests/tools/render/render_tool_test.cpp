// moonwisp-render run as a user runs it: the picture it writes, the frames of
// --every, repeatable output, the glow's blur forced to the fixed-function
// copies, and argument errors that write nothing.
#include <gtest/gtest.h>

#include "platform/image/png_image.h"
#include "support/process.h"

namespace {

using moonwisp::test::readFile;

moonwisp::test::ChildResult render(const std::string& args) {
  std::vector<std::string> argv = {MOONWISP_RENDER_PATH};
  std::istringstream words(args);
  for (std::string word; words >> word;) argv.push_back(word);
  return moonwisp::test::runChild(argv);
}

TEST(RenderTool, WritesEveryKthFrameAndTheLastAndTheSameArgumentsGiveTheSamePicture) {
  moonwisp::test::TestFolder folder;
  const std::string args = "--seed 9 --quantity 60 --color 2 --width 320 --height 200 --frames 30 --out ";
  const auto first = render(args + folder / "a.png" + " --every 15 --bench --out-dir " + folder.path());
  ASSERT_EQ(first.status, 0) << first.err;
  for (const char* figure : {"update", "glow on (fast path)", "glow passes", "sideways blur", "composite", "own CPU"})
    EXPECT_NE(first.out.find(figure), std::string::npos) << first.out;
  ASSERT_EQ(render(args + folder / "b.png").status, 0);
  const auto fixed = render(args + folder / "c.png" + " --fixed-glow --bench");
  ASSERT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_NE(fixed.out.find("glow on (fixed-function)"), std::string::npos) << fixed.out;
  EXPECT_EQ(folder.list(),
            (std::vector<std::string>{"a.png", "b.png", "c.png", "frame000015.png", "frame000030.png"}));
  EXPECT_NE(readFile(folder / "a.png"), readFile(folder / "c.png"));
  const moonwisp::RasterImage p = moonwisp::loadPngImage(folder / "a.png");
  EXPECT_EQ(std::vector<int>({p.width, p.height, p.hasAlpha}), std::vector<int>({320, 200, 0}));
  EXPECT_GT(std::count_if(p.pixels.begin(), p.pixels.end(), [](uint8_t v) { return v > 30; }), 300);
  EXPECT_EQ(readFile(folder / "a.png"), readFile(folder / "b.png"));
}

TEST(RenderTool, BadArgumentsExitTwoWithAMessageAndWriteNothing) {
  moonwisp::test::TestFolder folder;
  const std::string out = " --out " + folder / "never.png";
  for (const std::string& args : {"--frames 0" + out, "--height 99999" + out, "--seed x" + out, "--bug" + out,
                                  "--frames 2 --every 1" + out, "--every 1 --out-dir /no/dir" + out,
                                  std::string("--frames 2"), std::string("--out /no/dir/x.png")}) {
    const auto run = render(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.err.rfind("moonwisp-render: ", 0), 0u) << args << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << args;
    EXPECT_TRUE(folder.list().empty()) << args;
  }
}

}  // namespace
