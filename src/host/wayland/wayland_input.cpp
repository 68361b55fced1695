#include "host/wayland/wayland_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/system_log.h"

namespace moonwisp {
namespace {

// Version 5 has every event we use; later ones only add pointer axis detail.
constexpr uint32_t kSeatVersion = 5;

}  // namespace

WaylandInput::WaylandInput(std::function<void(const WaylandInputEvent&)> onEvent)
    : onEvent_(std::move(onEvent)), xkb_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
  if (!xkb_) systemLog("Warning: libxkbcommon cannot start; keys end the saver without being told apart");
}

WaylandInput::~WaylandInput() {
  releaseKeyboard();
  releasePointer();
  if (seat_) {
    if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION)
      wl_seat_release(seat_);
    else
      wl_seat_destroy(seat_);
  }
  if (xkb_) xkb_context_unref(xkb_);
}

void WaylandInput::bindSeat(wl_registry* registry, uint32_t globalName, uint32_t version) {
  if (seat_) return;
  static const wl_seat_listener listener = {onCapabilities, onSeatName};
  seat_ = static_cast<wl_seat*>(
      wl_registry_bind(registry, globalName, &wl_seat_interface, std::min(version, kSeatVersion)));
  if (!seat_) return;
  seatName_ = globalName;
  wl_seat_add_listener(seat_, &listener, this);
}

bool WaylandInput::remove(uint32_t globalName) {
  if (!seat_ || globalName != seatName_) return false;
  releaseKeyboard();
  releasePointer();
  if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION)
    wl_seat_release(seat_);
  else
    wl_seat_destroy(seat_);
  seat_ = nullptr;
  return true;
}

void WaylandInput::releaseKeyboard() {
  if (keyboard_) {
    if (wl_keyboard_get_version(keyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
      wl_keyboard_release(keyboard_);
    else
      wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  if (state_) xkb_state_unref(state_);
  if (keymap_) xkb_keymap_unref(keymap_);
  state_ = nullptr;
  keymap_ = nullptr;
}

void WaylandInput::releasePointer() {
  if (!pointer_) return;
  if (wl_pointer_get_version(pointer_) >= WL_POINTER_RELEASE_SINCE_VERSION)
    wl_pointer_release(pointer_);
  else
    wl_pointer_destroy(pointer_);
  pointer_ = nullptr;
  pointerInside_ = false;
}

void WaylandInput::onCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  static const wl_keyboard_listener keyboardListener = {onKeymap, onKeyboardEnter, onKeyboardLeave,
                                                        onKey,    onModifiers,     onRepeatInfo};
  static const wl_pointer_listener pointerListener = {onPointerEnter, onPointerLeave, onMotion,
                                                      onButton,       onAxis,         onFrame,
                                                      onAxisSource,   onAxisStop,     onAxisDiscrete,
                                                      onAxisValue120,
  // Wayland 1.22 headers add a tenth event. The seat's version never asks for
  // it, but every slot the headers declare is filled.
#ifdef WL_POINTER_AXIS_RELATIVE_DIRECTION_SINCE_VERSION
                                                      onAxisRelativeDirection
#endif
  };
  auto* self = static_cast<WaylandInput*>(data);
  const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
  const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
  if (keyboard && !self->keyboard_) {
    self->keyboard_ = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(self->keyboard_, &keyboardListener, self);
  } else if (!keyboard && self->keyboard_) {
    self->releaseKeyboard();
  }
  if (pointer && !self->pointer_) {
    self->pointer_ = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(self->pointer_, &pointerListener, self);
  } else if (!pointer && self->pointer_) {
    self->releasePointer();
  }
}

void WaylandInput::onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  auto* self = static_cast<WaylandInput*>(data);
  // The keymap arrives again whenever the keyboard changes (a virtual
  // keyboard brings its own): the new one replaces the old.
  xkb_keymap* keymap = nullptr;
  if (self->xkb_ && format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      // The text ends with a NUL inside size.
      const char* keymapText = static_cast<const char*>(text);
      keymap = xkb_keymap_new_from_buffer(self->xkb_, keymapText, strnlen(keymapText, size),
                                          XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
      munmap(text, size);
    }
  }
  close(fd);
  if (self->state_) xkb_state_unref(self->state_);
  if (self->keymap_) xkb_keymap_unref(self->keymap_);
  self->keymap_ = keymap;
  self->state_ = keymap ? xkb_state_new(keymap) : nullptr;
}

void WaylandInput::onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  auto* self = static_cast<WaylandInput*>(data);
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  WaylandInputEvent event;
  event.kind = WaylandInputEvent::Kind::Key;
  // Wayland key codes are evdev codes; XKB's are 8 higher.
  if (self->state_) event.keysym = xkb_state_key_get_one_sym(self->state_, key + 8);
  self->onEvent_(event);
}

void WaylandInput::onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                               uint32_t locked, uint32_t group) {
  auto* self = static_cast<WaylandInput*>(data);
  if (self->state_) xkb_state_update_mask(self->state_, depressed, latched, locked, 0, 0, group);
}

void WaylandInput::onPointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  auto* self = static_cast<WaylandInput*>(data);
  self->pointerInside_ = true;
  self->enterX_ = wl_fixed_to_double(x);
  self->enterY_ = wl_fixed_to_double(y);
}

void WaylandInput::onPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
  static_cast<WaylandInput*>(data)->pointerInside_ = false;
}

void WaylandInput::onMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  auto* self = static_cast<WaylandInput*>(data);
  if (!self->pointerInside_) return;
  // A jitter of a pixel or two (or the pointer appearing under a new
  // surface) is not someone coming back.
  if (std::hypot(wl_fixed_to_double(x) - self->enterX_, wl_fixed_to_double(y) - self->enterY_) <= kMotionSlop)
    return;
  WaylandInputEvent event;
  event.kind = WaylandInputEvent::Kind::Motion;
  self->onEvent_(event);
}

void WaylandInput::onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state != WL_POINTER_BUTTON_STATE_PRESSED) return;
  WaylandInputEvent event;
  event.kind = WaylandInputEvent::Kind::Button;
  static_cast<WaylandInput*>(data)->onEvent_(event);
}

}  // namespace moonwisp
