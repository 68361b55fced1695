#pragma once
// The seat's keyboard (through libxkbcommon) and pointer, reduced to what
// ends a screen saver: a key press (with its key symbol), a button press, or
// the pointer moving more than a few pixels from where it entered.
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <functional>

#include "host/host_options.h"

namespace moonwisp {

struct WaylandInputEvent {
  enum class Kind { Key, Button, Motion };
  Kind kind = Kind::Key;
  xkb_keysym_t keysym = XKB_KEY_NoSymbol;  // Kind::Key
};

class WaylandInput {
 public:
  // Pointer travel (in surface pixels) from where it entered that counts as motion.
  static constexpr double kMotionSlop = kPointerMotionSlop;

  explicit WaylandInput(std::function<void(const WaylandInputEvent&)> onEvent);
  ~WaylandInput();
  WaylandInput(const WaylandInput&) = delete;
  WaylandInput& operator=(const WaylandInput&) = delete;

  // The first wl_seat the registry announces; later ones are ignored.
  void bindSeat(wl_registry* registry, uint32_t globalName, uint32_t version);
  // True when globalName was the seat (it is released).
  bool remove(uint32_t globalName);

 private:
  static void onCapabilities(void* data, wl_seat*, uint32_t capabilities);
  static void onSeatName(void*, wl_seat*, const char*) {}
  static void onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size);
  static void onKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
  static void onKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
  static void onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state);
  static void onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                          uint32_t locked, uint32_t group);
  static void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
  static void onPointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y);
  static void onPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*);
  static void onMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y);
  static void onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state);
  static void onAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
  static void onFrame(void*, wl_pointer*) {}
  static void onAxisSource(void*, wl_pointer*, uint32_t) {}
  static void onAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
  static void onAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
  static void onAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}
#ifdef WL_POINTER_AXIS_RELATIVE_DIRECTION_SINCE_VERSION
  static void onAxisRelativeDirection(void*, wl_pointer*, uint32_t, uint32_t) {}
#endif

  void releaseKeyboard();
  void releasePointer();

  std::function<void(const WaylandInputEvent&)> onEvent_;
  wl_seat* seat_ = nullptr;
  uint32_t seatName_ = 0;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* state_ = nullptr;
  bool pointerInside_ = false;
  double enterX_ = 0;
  double enterY_ = 0;
};

}  // namespace moonwisp
