// The live preview beside a settings window: the content moves into a row
// beside a drawing area, a moonwisp child draws into that area's own X window,
// and hiding or destroying the window ends the child, leaving nothing behind.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <cerrno>
#include <csignal>

#include "platform/host/live_preview.h"
#include "platform/ui/controls.h"
#include "platform/ui/toolkit.h"
#include "x_test_support.h"

namespace {

using moonwisp::LivePreview;

// Runs the toolkit's main loop until done() or the time runs out.
template <typename Done>
bool spinUntil(Done done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    // Also runs idle work, such as flushing the toolkit's requests.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    moonwisp::test::sleepMs(20);
  }
  return true;
}

bool processGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

class LivePreviewTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!moonwisp::ui::initializeToolkit()) GTEST_SKIP() << "no display for the toolkit";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    // The child builds the settings sheet with GTK too; its font caches live
    // as long as it does.
    setenv("LSAN_OPTIONS", "suppressions=" MOONWISP_LSAN_SUPPRESSIONS, 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    // What GTK programs' leak checks ask for; the child must still draw.
    std::string asan = "fast_unwind_on_malloc=0";
    if (const char* inherited = getenv("ASAN_OPTIONS")) asan = std::string(inherited) + ":" + asan;
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    char dir[] = "/tmp/moonwisp-preview-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("XDG_CONFIG_HOME", dir, 1);
    configHome_ = dir;
    top_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    // Away from the corner where other tests' windows appear, so that the
    // pixels read back are the preview's own.
    gtk_window_move(GTK_WINDOW(top_), 1100, 700);
    content_ = gtk_label_new("controls");
    gtk_container_add(GTK_CONTAINER(top_), content_);
    window_ = std::make_unique<moonwisp::ui::Window>(top_);
  }
  void TearDown() override {
    window_.reset();
    if (top_) gtk_widget_destroy(top_);
    moonwisp::ui::processPendingEvents();
    if (display_) XCloseDisplay(display_);
    if (!configHome_.empty()) moonwisp::test::ChildProcess({"/bin/rm", "-rf", configHome_}).waitFor(5000);
  }

  Display* display_ = nullptr;
  std::string configHome_;
  GtkWidget* top_ = nullptr;
  GtkWidget* content_ = nullptr;
  std::unique_ptr<moonwisp::ui::Window> window_;
};

TEST_F(LivePreviewTest, DrawsBesideTheContentAndEndsWhenTheWindowIsHidden) {
  auto preview = LivePreview::attach(*window_, MOONWISP_PATH);
  ASSERT_TRUE(preview);
  GtkWidget* row = gtk_bin_get_child(GTK_BIN(top_));
  ASSERT_TRUE(GTK_IS_BOX(row));
  EXPECT_EQ(gtk_widget_get_parent(content_), row);
  EXPECT_EQ(preview->childPid(), 0);  // nothing runs before the area is shown

  gtk_widget_show_all(top_);
  ASSERT_TRUE(spinUntil([&] { return preview->childPid() != 0; }, 5000));
  ASSERT_NE(preview->areaWindow(), 0u);
  const pid_t child = preview->childPid();
  bool drawn = false;
  spinUntil([&] {
    drawn = moonwisp::test::windowLevels(display_, preview->areaWindow(), 0, 0, 320, 200).countAbove(40) >= 20;
    return drawn;
  }, 15000);
  EXPECT_TRUE(drawn);

  gtk_widget_hide(top_);
  EXPECT_EQ(preview->childPid(), 0);
  EXPECT_TRUE(processGone(child));  // ended and reaped

  // Shown again, the window gets a new preview.
  gtk_widget_show(top_);
  ASSERT_TRUE(spinUntil([&] { return preview->childPid() != 0; }, 5000));
  EXPECT_NE(preview->childPid(), child);
  const pid_t second = preview->childPid();
  preview.reset();
  EXPECT_TRUE(processGone(second));
}

TEST_F(LivePreviewTest, DestroyingTheWindowEndsTheChildAndThePreviewOutlivesIt) {
  auto preview = LivePreview::attach(*window_, MOONWISP_PATH);
  ASSERT_TRUE(preview);
  gtk_widget_show_all(top_);
  ASSERT_TRUE(spinUntil([&] { return preview->childPid() != 0; }, 5000));
  const pid_t child = preview->childPid();
  moonwisp::test::sleepMs(300);
  gtk_widget_destroy(top_);
  top_ = nullptr;
  EXPECT_EQ(preview->childPid(), 0);
  EXPECT_TRUE(processGone(child));
  preview.reset();  // after its window: must not touch it
}

TEST_F(LivePreviewTest, AMissingProgramOrAnEmptyWindowGivesNoChild) {
  auto preview = LivePreview::attach(*window_, "/nonexistent/moonwisp");
  ASSERT_TRUE(preview);
  gtk_widget_show_all(top_);
  spinUntil([] { return false; }, 300);
  EXPECT_EQ(preview->childPid(), 0);
  preview.reset();

  GtkWidget* empty = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  moonwisp::ui::Window emptyHandle(empty);
  EXPECT_EQ(LivePreview::attach(emptyHandle, MOONWISP_PATH), nullptr);
  gtk_widget_destroy(empty);
}

}  // namespace
