// Interface files, controls and alerts with real GTK widgets under X.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/ui/alert.h"
#include "platform/ui/nib.h"
#include "platform/ui/toolkit.h"

namespace moonwisp::ui {
namespace {

const char* kSmallNib = R"(<?xml version="1.0"?>
<interface>
  <object class="GtkWindow" id="window">
    <child>
      <object class="GtkBox" id="box">
        <property name="visible">True</property>
        <child>
          <object class="GtkButton" id="go">
            <property name="visible">True</property>
            <signal name="clicked" handler="goClicked"/>
          </object>
        </child>
        <child>
          <object class="GtkCheckButton" id="check"><property name="visible">True</property></object>
        </child>
        <child>
          <object class="GtkComboBoxText" id="choice">
            <property name="visible">True</property>
            <items><item id="3">three</item><item id="x">not a number</item></items>
          </object>
        </child>
        <child>
          <object class="GtkLabel" id="text"><property name="visible">True</property></object>
        </child>
      </object>
    </child>
  </object>
</interface>
)";

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(initializeToolkit()) << "these tests need an X display"; }
  std::string writeNib(const std::string& text) {
    // One file per process: ctest runs this binary's tests side by side.
    const std::string path = ::testing::TempDir() + "moonwisp-controls-test-" + std::to_string(getpid()) + ".ui";
    std::ofstream(path) << text;
    written_ = path;
    return path;
  }
  void TearDown() override {
    if (!written_.empty()) std::remove(written_.c_str());
  }
  std::string written_;
};

TEST_F(Toolkit, ANibConnectsItsHandlersAndFindsControlsByKind) {
  int clicks = 0;
  std::string error;
  auto nib = Nib::load(writeNib(kSmallNib), {{"goClicked", [&clicks] { ++clicks; }}}, &error);
  ASSERT_NE(nib, nullptr) << error;
  Button* go = nib->button("go");
  ASSERT_NE(go, nullptr);
  go->performClick();
  go->performClick();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(nib->slider("go"), nullptr);  // a button is not a slider
  EXPECT_EQ(nib->button("nothing"), nullptr);
  EXPECT_EQ(nib->button("go"), go);
  ASSERT_NE(go->window(), nullptr);
  EXPECT_EQ(nib->checkBox("check")->window(), go->window());

  CheckBox* check = nib->checkBox("check");
  for (const int state : {1, 2, 0, 2, 1}) {
    check->setState(state);
    EXPECT_EQ(check->state(), state);
  }
  PopUp* choice = nib->popUp("choice");
  EXPECT_EQ(choice->selectedTag(), -1);
  EXPECT_TRUE(choice->selectItemWithTag(3));
  EXPECT_EQ(choice->selectedTag(), 3);
  EXPECT_FALSE(choice->selectItemWithTag(4));
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(choice->nativeHandle()), "x");
  EXPECT_EQ(choice->selectedTag(), -1);
  TextField* text = nib->textField("text");
  text->setStringValue("Version: 1");
  EXPECT_EQ(text->stringValue(), "Version: 1");
}

TEST_F(Toolkit, AWindowKeptOnCloseIsHiddenAndReportsIt) {
  std::string error;
  auto nib = Nib::load(writeNib(kSmallNib), {{"goClicked", [] {}}}, &error);
  ASSERT_NE(nib, nullptr) << error;
  Window* window = nib->button("go")->window();
  int hidden = 0;
  window->setHiddenHandler([&hidden] { ++hidden; });
  window->setReleasedWhenClosed(false);
  window->show();
  processPendingEvents();
  EXPECT_TRUE(window->isVisible());
  gtk_window_close(GTK_WINDOW(window->nativeHandle()));
  processPendingEvents();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->isAlive());
  EXPECT_EQ(hidden, 1);

  // Released when closed: the widgets go, and the handles turn inert.
  window->setReleasedWhenClosed(true);
  window->show();
  processPendingEvents();
  gtk_window_close(GTK_WINDOW(window->nativeHandle()));
  processPendingEvents();
  EXPECT_FALSE(window->isAlive());
  Button* go = nib->button("go");
  EXPECT_EQ(go->window(), nullptr);
  go->performClick();
  EXPECT_EQ(nib->checkBox("check")->state(), 0);
}

gboolean clickGo(gpointer button) {
  static_cast<Button*>(button)->performClick();
  return G_SOURCE_REMOVE;
}

TEST_F(Toolkit, AModalSheetReturnsWhenItEnds) {
  std::string error;
  Window* window = nullptr;
  auto nib = Nib::load(writeNib(kSmallNib), {{"goClicked", [&window] { window->hide(); }}}, &error);
  ASSERT_NE(nib, nullptr) << error;
  window = nib->button("go")->window();
  window->setReleasedWhenClosed(false);
  GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(parent);
  for (int round = 0; round < 2; ++round) {  // the same sheet can run again
    g_timeout_add(50, clickGo, nib->button("go"));
    window->runModal(parent);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(window->nativeHandle())));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window->nativeHandle())), nullptr);
  }
  gtk_widget_destroy(parent);
}

TEST_F(Toolkit, BadInterfaceFilesAreRefusedWithAReason) {
  std::string error;
  EXPECT_EQ(Nib::load("/nonexistent/sheet.ui", {}, &error), nullptr);
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_EQ(Nib::load(writeNib(kSmallNib), {}, &error), nullptr);
  EXPECT_EQ(error, "the interface file names an unknown action \"goClicked\"");
  error.clear();
  EXPECT_EQ(Nib::load(writeNib("<interface><object class=\"GtkWindow\" id=\"w\"></interface>"), {}, &error), nullptr);
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_EQ(Nib::load(writeNib("<interface><object class=\"NoSuchClass\" id=\"w\"/></interface>"), {}, &error),
            nullptr);
  EXPECT_FALSE(error.empty());
}

// Answers the first alert dialog that appears with the given response.
struct Responder {
  int response;
  std::vector<std::string> buttons;
  std::string message;
};

gboolean respond(gpointer data) {
  auto* responder = static_cast<Responder*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* area = gtk_dialog_get_action_area(GTK_DIALOG(w->data));
    G_GNUC_END_IGNORE_DEPRECATIONS
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    for (GList* c = children; c; c = c->next) responder->buttons.push_back(gtk_button_get_label(GTK_BUTTON(c->data)));
    g_list_free(children);
    gchar* text = nullptr;
    g_object_get(w->data, "text", &text, nullptr);
    responder->message = text ? text : "";
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(w->data), responder->response);
    break;
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

TEST_F(Toolkit, AlertsAnswerWithTheCodeOfTheButtonPressed) {
  const Alert alert{"A new version (2.0) of Moonwisp is now available for download.",
                    {"Download", "Details", "Cancel"}};
  for (const int code : {1000, 1001, 1002}) {
    Responder responder{code, {}, {}};
    g_timeout_add(50, respond, &responder);
    EXPECT_EQ(runModalAlert(alert, nullptr), code);
    EXPECT_EQ(responder.message, alert.messageText);
    // The first button is the rightmost, as the desktop places the affirmative one.
    EXPECT_EQ(responder.buttons, (std::vector<std::string>{"Cancel", "Details", "Download"}));
  }
  // Closing the alert counts as its last button.
  Responder closed{GTK_RESPONSE_DELETE_EVENT, {}, {}};
  g_timeout_add(50, respond, &closed);
  EXPECT_EQ(runModalAlert(Alert{"This copy of Moonwisp is up-to-date.", {"OK"}}, nullptr), 1000);
  Responder cancelled{GTK_RESPONSE_DELETE_EVENT, {}, {}};
  g_timeout_add(50, respond, &cancelled);
  EXPECT_EQ(runModalAlert(Alert{"Offer", {"Download", "Cancel"}}, nullptr), 1001);
}

}  // namespace
}  // namespace moonwisp::ui
