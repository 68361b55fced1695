#pragma once
// Modal alerts with buttons; the answer is the code of the button pressed.
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace moonwisp::ui {

constexpr int kAlertFirstButtonReturn = 1000;
constexpr int kAlertSecondButtonReturn = 1001;
constexpr int kAlertThirdButtonReturn = 1002;

struct Alert {
  std::string messageText;
  std::vector<std::string> buttons;  // first button first; at least one
};

// Shows an informational alert and waits until it is answered. Returns 1000
// for the first button, 1001 for the second, and so on; closing the alert
// counts as pressing its last button. Parent may be null.
int runModalAlert(const Alert& alert, Window* parent);

}  // namespace moonwisp::ui
