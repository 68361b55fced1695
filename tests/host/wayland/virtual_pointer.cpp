// A pointer for tests under a compositor without input devices: one virtual
// pointer (wlr-virtual-pointer-unstable-v1, which sway offers) that stays
// while the program runs, so that clients can bind it, and repeats one
// gesture every 100 ms until it is killed:
//
//   virtual_pointer motion    moves 20 pixels right, then back (one motion event each)
//   virtual_pointer jiggle    the same by 3 pixels
//   virtual_pointer button    presses and releases the left button, without moving
//
// A tool that makes a device per event (wlroots' virtual-pointer example)
// does not do: a client binds a pointer only after the device has come, and
// the device is gone again before the client's pointer sees the event.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

// The protocol's interfaces, written out: its XML is not packaged.
extern const wl_interface kVirtualPointer;
const wl_interface* const kCreateTypes[] = {&wl_seat_interface, &kVirtualPointer};
const wl_interface* const kCreateWithOutputTypes[] = {&wl_seat_interface, &wl_output_interface, &kVirtualPointer};
const wl_interface* const kNoTypes[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
const wl_message kManagerRequests[] = {
    {"create_virtual_pointer", "?on", const_cast<const wl_interface**>(kCreateTypes)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
    {"create_virtual_pointer_with_output", "2?o?on", const_cast<const wl_interface**>(kCreateWithOutputTypes)},
};
const wl_interface kVirtualPointerManager = {"zwlr_virtual_pointer_manager_v1", 1, 3, kManagerRequests, 0, nullptr};
const wl_message kPointerRequests[] = {
    {"motion", "uff", const_cast<const wl_interface**>(kNoTypes)},
    {"motion_absolute", "uuuuu", const_cast<const wl_interface**>(kNoTypes)},
    {"button", "uuu", const_cast<const wl_interface**>(kNoTypes)},
    {"axis", "uuf", const_cast<const wl_interface**>(kNoTypes)},
    {"frame", "", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_source", "u", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_stop", "uu", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_discrete", "uufi", const_cast<const wl_interface**>(kNoTypes)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_interface kVirtualPointer = {"zwlr_virtual_pointer_v1", 1, 9, kPointerRequests, 0, nullptr};
enum PointerRequest : uint32_t { kMotion = 0, kButton = 2, kFrame = 4 };

wl_proxy* manager = nullptr;

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  if (std::strcmp(interface, kVirtualPointerManager.name) == 0)
    manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kVirtualPointerManager, 1));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

uint32_t nowMs() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string gesture = argc == 2 ? argv[1] : "";
  if (gesture != "motion" && gesture != "jiggle" && gesture != "button") {
    std::fprintf(stderr, "usage: virtual_pointer motion|jiggle|button\n");
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "virtual_pointer: no Wayland compositor\n");
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, nullptr);
  wl_display_roundtrip(display);
  if (!manager) {
    std::fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointer\n");
    return 1;
  }
  wl_proxy* pointer = wl_proxy_marshal_constructor(manager, 0, &kVirtualPointer, nullptr, nullptr);
  const double step = gesture == "jiggle" ? 3.0 : 20.0;
  for (int round = 0;; ++round) {
    if (gesture == "button") {
      wl_proxy_marshal(pointer, kButton, nowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
      wl_proxy_marshal(pointer, kFrame);
      wl_proxy_marshal(pointer, kButton, nowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    } else {
      const wl_fixed_t dx = wl_fixed_from_double(round % 2 == 0 ? step : -step);
      wl_proxy_marshal(pointer, kMotion, nowMs(), dx, wl_fixed_from_int(0));
    }
    wl_proxy_marshal(pointer, kFrame);
    if (wl_display_roundtrip(display) < 0) return 1;  // the compositor is gone
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
