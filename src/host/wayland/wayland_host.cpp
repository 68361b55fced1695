#include "host/wayland/wayland_host.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "platform/core/system_log.h"
#include "host/ScreenSaverView.h"
#include "xdg-shell-client-protocol.h"

namespace moonwisp {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;
// Version 4 of wl_compositor has every request we use (buffer scale since 3).
constexpr uint32_t kCompositorVersion = 4;
// Version 3 of xdg-shell sends no event that versions 1 and 2 lack.
constexpr uint32_t kWmBaseVersion = 3;

}  // namespace

WaylandHost::WaylandHost(wl_display* display, SaverHostOptions options, SaverViewFactory factory)
    : display_(display),
      options_(options),
      factory_(std::move(factory)),
      input_([this](const WaylandInputEvent& event) { handleInput(event); }),
      rounds_(options) {
  outputs_.setCallbacks([this](const WaylandOutput& output) { outputReady(output); },
                        [this](const WaylandOutput& output) { outputGone(output); });
  if (!signals_.ok()) systemLog("Warning: signals cannot wake the host; SIGTERM ends it abruptly");
}

WaylandHost::~WaylandHost() {
  for (auto& slot : slots_) destroyView(*slot);
  while (!slots_.empty()) removeSlot(slots_.back().get());
  services_.reset();
  egl_.reset();
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_flush(display_);
}

bool WaylandHost::initialize() {
  static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &registryListener, this);
  // The first round trip announces the globals; the second, what the bound
  // ones (outputs, the seat) say about themselves.
  if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
    systemLog("Error: the Wayland compositor closed the connection");
    return false;
  }
  if (!compositor_ || !wmBase_) {
    systemLog("Error: the Wayland compositor offers no %s", compositor_ ? "xdg-shell (xdg_wm_base)" : "wl_compositor");
    return false;
  }
  std::string error;
  egl_ = WaylandEglDisplay::open(display_, &error);
  if (!egl_) {
    systemLog("Error: %s", error.c_str());
    return false;
  }
  services_ = std::make_unique<WaylandHostServices>(*egl_, outputs_);
  return true;
}

bool WaylandHost::addWindow(int width, int height, const std::string& title, const std::string& appId) {
  if (!services_) return false;
  return addSlot(0, width, height, title, appId) != nullptr;
}

bool WaylandHost::addFullScreenViews(const std::string& title, const std::string& appId) {
  if (!services_) return false;
  fullScreen_ = true;
  title_ = title;
  appId_ = appId;
  bool any = false;
  for (const uint32_t id : outputs_.readyIds()) {
    const WaylandOutput* output = outputs_.byId(id);
    any = addSlot(id, output->width, output->height, title, appId) != nullptr || any;
  }
  return any;
}

WaylandHost::Slot* WaylandHost::addSlot(uint32_t outputId, int width, int height, const std::string& title,
                                        const std::string& appId) {
  static const wl_surface_listener surfaceListener = [] {
    wl_surface_listener listener{};
    listener.enter = onSurfaceEnter;
    listener.leave = onSurfaceLeave;
    return listener;
  }();
  static const xdg_surface_listener xdgSurfaceListener = {onXdgSurfaceConfigure};
  static const xdg_toplevel_listener toplevelListener = [] {
    xdg_toplevel_listener listener{};
    listener.configure = onToplevelConfigure;
    listener.close = onToplevelClose;
    return listener;
  }();

  auto slot = std::make_unique<Slot>();
  slot->host = this;
  slot->outputId = outputId;
  slot->surface = wl_compositor_create_surface(compositor_);
  if (!slot->surface) return nullptr;
  wl_surface_add_listener(slot->surface, &surfaceListener, slot.get());
  slot->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, slot->surface);
  xdg_surface_add_listener(slot->xdgSurface, &xdgSurfaceListener, slot.get());
  slot->toplevel = xdg_surface_get_toplevel(slot->xdgSurface);
  xdg_toplevel_add_listener(slot->toplevel, &toplevelListener, slot.get());
  xdg_toplevel_set_title(slot->toplevel, title.c_str());
  xdg_toplevel_set_app_id(slot->toplevel, appId.c_str());
  slot->requestedWidth = width;
  slot->requestedHeight = height;
  if (const WaylandOutput* output = outputs_.byId(outputId)) {
    // Drawn at the output's own pixel density; the compositor asks for the
    // size in surface units.
    slot->scale = output->scale;
    slot->requestedWidth = std::max(1, width / slot->scale);
    slot->requestedHeight = std::max(1, height / slot->scale);
    if (slot->scale > 1 && wl_surface_get_version(slot->surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
      wl_surface_set_buffer_scale(slot->surface, slot->scale);
    else
      slot->scale = 1;
    xdg_toplevel_set_fullscreen(slot->toplevel, output->output);
  }
  // A commit without a buffer asks the compositor for the first configure.
  wl_surface_commit(slot->surface);
  slots_.push_back(std::move(slot));
  return slots_.back().get();
}

void WaylandHost::removeSlot(Slot* slot) {
  destroyView(*slot);
  if (slot->frameCallback) wl_callback_destroy(slot->frameCallback);
  xdg_toplevel_destroy(slot->toplevel);
  xdg_surface_destroy(slot->xdgSurface);
  wl_surface_destroy(slot->surface);
  slots_.erase(std::find_if(slots_.begin(), slots_.end(), [&](const auto& s) { return s.get() == slot; }));
}

void WaylandHost::outputReady(const WaylandOutput& output) {
  if (fullScreen_) addSlot(output.id, output.width, output.height, title_, appId_);
}

void WaylandHost::outputGone(const WaylandOutput& output) {
  // Views are destroyed outside the dispatch of events, at the next update.
  for (auto& slot : slots_) {
    if (slot->outputId == output.id) slot->gone = true;
    auto& entered = slot->enteredOutputs;
    entered.erase(std::remove(entered.begin(), entered.end(), output.id), entered.end());
  }
}

void WaylandHost::handleInput(const WaylandInputEvent& event) {
  if (fullScreen_) {
    // A screen saver: whoever comes back ends it.
    quit_ = true;
  } else if (event.kind == WaylandInputEvent::Kind::Key &&
             (event.keysym == XKB_KEY_q || event.keysym == XKB_KEY_Q || event.keysym == XKB_KEY_Escape)) {
    quit_ = true;
  }
}

void WaylandHost::onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                           uint32_t version) {
  static const xdg_wm_base_listener wmBaseListener = {onPing};
  auto* host = static_cast<WaylandHost*>(data);
  const std::string kind = interface;
  if (kind == wl_compositor_interface.name && !host->compositor_) {
    host->compositor_ = static_cast<wl_compositor*>(
        wl_registry_bind(registry, name, &wl_compositor_interface, std::min(version, kCompositorVersion)));
  } else if (kind == xdg_wm_base_interface.name && !host->wmBase_) {
    host->wmBase_ = static_cast<xdg_wm_base*>(
        wl_registry_bind(registry, name, &xdg_wm_base_interface, std::min(version, kWmBaseVersion)));
    xdg_wm_base_add_listener(host->wmBase_, &wmBaseListener, host);
  } else if (kind == wl_output_interface.name) {
    host->outputs_.add(registry, name, version);
  } else if (kind == wl_seat_interface.name) {
    host->input_.bindSeat(registry, name, version);
  }
}

void WaylandHost::onGlobalRemove(void* data, wl_registry*, uint32_t name) {
  auto* host = static_cast<WaylandHost*>(data);
  if (!host->outputs_.remove(name)) host->input_.remove(name);
}

void WaylandHost::onPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }

void WaylandHost::onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* slot = static_cast<Slot*>(data);
  slot->pendingWidth = width;
  slot->pendingHeight = height;
}

void WaylandHost::onXdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  auto* slot = static_cast<Slot*>(data);
  xdg_surface_ack_configure(surface, serial);
  // A side of 0 leaves it to us: keep what we have, or what we asked for.
  if (slot->pendingWidth > 0)
    slot->width = slot->pendingWidth;
  else if (slot->width < 1)
    slot->width = slot->requestedWidth;
  if (slot->pendingHeight > 0)
    slot->height = slot->pendingHeight;
  else if (slot->height < 1)
    slot->height = slot->requestedHeight;
  slot->configured = true;
}

void WaylandHost::onToplevelClose(void* data, xdg_toplevel*) { static_cast<Slot*>(data)->host->quit_ = true; }

void WaylandHost::onSurfaceEnter(void* data, wl_surface*, wl_output* output) {
  auto* slot = static_cast<Slot*>(data);
  const WaylandOutput* entered = slot->host->outputs_.byOutput(output);
  if (!entered) return;
  auto& list = slot->enteredOutputs;
  if (std::find(list.begin(), list.end(), entered->id) == list.end()) list.push_back(entered->id);
}

void WaylandHost::onSurfaceLeave(void* data, wl_surface*, wl_output* output) {
  auto* slot = static_cast<Slot*>(data);
  const WaylandOutput* left = slot->host->outputs_.byOutput(output);
  if (!left) return;
  auto& list = slot->enteredOutputs;
  list.erase(std::remove(list.begin(), list.end(), left->id), list.end());
}

void WaylandHost::requestFrame(Slot& slot) {
  static const wl_callback_listener listener = {onFrameDone};
  if (slot.frameCallback) wl_callback_destroy(slot.frameCallback);
  slot.frameCallback = wl_surface_frame(slot.surface);
  wl_callback_add_listener(slot.frameCallback, &listener, &slot);
  slot.frameDone = false;
}

void WaylandHost::onFrameDone(void* data, wl_callback* callback, uint32_t) {
  auto* slot = static_cast<Slot*>(data);
  wl_callback_destroy(callback);
  if (slot->frameCallback == callback) slot->frameCallback = nullptr;
  slot->frameDone = true;
}

void WaylandHost::createView(Slot& slot) {
  const int width = slot.width * slot.scale;
  const int height = slot.height * slot.scale;
  if (width < 1 || height < 1) return;
  // Every pixel is drawn: the compositor need not draw what lies below.
  if (wl_region* region = wl_compositor_create_region(compositor_)) {
    wl_region_add(region, 0, 0, slot.width, slot.height);
    wl_surface_set_opaque_region(slot.surface, region);
    wl_region_destroy(region);
  }
  WaylandViewTarget target;
  target.surface = slot.surface;
  target.width = width;
  target.height = height;
  target.outputs = slot.outputId != 0 ? std::vector<uint32_t>{slot.outputId} : slot.enteredOutputs;
  target.beforeSwap = [this, &slot] { requestFrame(slot); };
  target.framesShown = &slot.framesShown;
  ViewRect frame{0, 0, static_cast<double>(width), static_cast<double>(height)};
  if (const WaylandOutput* output = outputs_.byId(slot.outputId)) {
    frame.x = output->x;
    frame.y = output->y;
  }
  services_->setTarget(&target);
  slot.view = factory_(frame, false, *services_);
  slot.glSurface = slot.view ? services_->lastSurface() : nullptr;
  services_->setTarget(nullptr);
  if (!slot.view) {
    slot.refused = true;
    return;
  }
  slot.viewWidth = width;
  slot.viewHeight = height;
  slot.view->startAnimation();
  slot.deadline.start(monotonicNanoseconds(), viewPeriodNs(options_, *slot.view));
}

void WaylandHost::destroyView(Slot& slot) {
  if (!slot.view) return;
  // With the compositor gone the view ends without drawing.
  if (lost_ && slot.glSurface) slot.glSurface->surfaceLost();
  if (slot.view->isAnimating()) slot.view->stopAnimation();
  slot.view.reset();
  slot.glSurface = nullptr;
}

void WaylandHost::updateViews() {
  for (size_t i = slots_.size(); i > 0; --i)
    if (slots_[i - 1]->gone) removeSlot(slots_[i - 1].get());
  for (auto& slot : slots_) {
    if (!slot->configured) continue;
    if (!slot->view) {
      if (!slot->refused) createView(*slot);
      continue;
    }
    // Sizes are fixed when a view is made, so a new size needs a new view.
    if (slot->width * slot->scale == slot->viewWidth && slot->height * slot->scale == slot->viewHeight) continue;
    destroyView(*slot);
    createView(*slot);
  }
}

bool WaylandHost::dispatch() { return wl_display_dispatch_pending(display_) >= 0; }

bool WaylandHost::waitForEvents(int64_t wakeNs) {
  // Events already queued (read while EGL talked to the compositor) are
  // handled first; the caller looks at the state again after them.
  if (wl_display_prepare_read(display_) != 0) return dispatch();
  int flushed = 0;
  while ((flushed = wl_display_flush(display_)) < 0 && errno == EINTR) {
  }
  if (flushed < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    return false;
  }
  // A full socket: wait until it can take the rest as well.
  const short writing = flushed < 0 ? POLLOUT : 0;
  pollfd fds[2] = {{wl_display_get_fd(display_), static_cast<short>(POLLIN | writing), 0},
                   {signals_.fd(), POLLIN, 0}};
  timespec timeout{};
  if (wakeNs >= 0) {
    const int64_t wait = std::max<int64_t>(0, wakeNs - monotonicNanoseconds());
    timeout.tv_sec = static_cast<time_t>(wait / kNsPerSecond);
    timeout.tv_nsec = static_cast<long>(wait % kNsPerSecond);
  }
  if (ppoll(fds, signals_.ok() ? 2 : 1, wakeNs >= 0 ? &timeout : nullptr, nullptr) < 0) {
    wl_display_cancel_read(display_);
    return errno == EINTR;
  }
  if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
    if (wl_display_read_events(display_) < 0) return false;
  } else {
    wl_display_cancel_read(display_);
  }
  return dispatch();
}

// A view is drawn when the compositor wants a frame of its surface, unless it
// has nothing new to show (the compositor keeps its last frame up).
bool WaylandHost::ticks(const Slot& slot) {
  return slot.view && slot.view->isAnimating() && slot.frameDone && !slot.view->isIdleUntilExposed();
}

int WaylandHost::run() {
  if (!services_) return 0;
  rounds_.start(monotonicNanoseconds());
  while (!quit_) {
    if (!dispatch()) lost_ = true;
    if (const int signal = signals_.take()) endingSignal_ = signal;
    if (lost_ || endingSignal_ != 0) quit_ = true;
    if (quit_) break;
    updateViews();

    int64_t now = monotonicNanoseconds();
    uint64_t mostShown = 0;
    for (auto& slot : slots_) {
      if (ticks(*slot)) rounds_.tick(*slot->view, slot->deadline, &now);
      mostShown = std::max(mostShown, slot->framesShown);
    }
    if (rounds_.finish(now, mostShown, &quit_) || quit_) continue;  // look at events and deadlines again first

    // Sleep until the next deadline of a surface the compositor wants drawn,
    // an event (a frame callback among them) or a signal.
    int64_t wake = -1;
    for (const auto& slot : slots_)
      if (ticks(*slot)) FrameRounds::wakeFor(slot->deadline, &wake);
    rounds_.wakeForReport(&wake);
    if (!waitForEvents(wake)) lost_ = true;
  }
  if (lost_) systemLog("The Wayland compositor has gone away; ending.");
  for (auto& slot : slots_) destroyView(*slot);
  return 0;
}

}  // namespace moonwisp
