#include "host/wayland/wayland_outputs.h"

#include <algorithm>

namespace moonwisp {
namespace {

// Version 4 adds the output's name; older compositors still work without it.
constexpr uint32_t kOutputVersion = 4;

}  // namespace

WaylandOutputs::~WaylandOutputs() {
  for (const auto& entry : entries_) {
    if (wl_output_get_version(entry->output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
      wl_output_release(entry->output.output);
    else
      wl_output_destroy(entry->output.output);
  }
}

void WaylandOutputs::setCallbacks(Callback ready, Callback gone) {
  ready_ = std::move(ready);
  gone_ = std::move(gone);
}

void WaylandOutputs::add(wl_registry* registry, uint32_t globalName, uint32_t version) {
  static const wl_output_listener listener = {onGeometry, onMode, onDone, onScale, onName, onDescription};
  auto entry = std::make_unique<Entry>();
  entry->owner = this;
  entry->output.id = nextId_++;
  entry->output.globalName = globalName;
  entry->output.output = static_cast<wl_output*>(
      wl_registry_bind(registry, globalName, &wl_output_interface, std::min(version, kOutputVersion)));
  if (!entry->output.output) return;
  wl_output_add_listener(entry->output.output, &listener, entry.get());
  entries_.push_back(std::move(entry));
}

bool WaylandOutputs::remove(uint32_t globalName) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const auto& entry) { return entry->output.globalName == globalName; });
  if (it == entries_.end()) return false;
  if ((*it)->output.ready && gone_) gone_((*it)->output);
  wl_output* output = (*it)->output.output;
  if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
    wl_output_release(output);
  else
    wl_output_destroy(output);
  entries_.erase(it);
  return true;
}

const WaylandOutput* WaylandOutputs::byId(uint32_t id) const {
  for (const auto& entry : entries_)
    if (entry->output.id == id) return &entry->output;
  return nullptr;
}

const WaylandOutput* WaylandOutputs::byOutput(const wl_output* output) const {
  for (const auto& entry : entries_)
    if (entry->output.output == output) return &entry->output;
  return nullptr;
}

uint32_t WaylandOutputs::mainId() const {
  for (const auto& entry : entries_)
    if (entry->output.ready) return entry->output.id;
  return 0;
}

std::vector<uint32_t> WaylandOutputs::readyIds() const {
  std::vector<uint32_t> ids;
  for (const auto& entry : entries_)
    if (entry->output.ready) ids.push_back(entry->output.id);
  return ids;
}

void WaylandOutputs::onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                                const char*, const char*, int32_t) {
  auto* entry = static_cast<Entry*>(data);
  entry->output.x = x;
  entry->output.y = y;
}

void WaylandOutputs::onMode(void* data, wl_output* output, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
  auto* entry = static_cast<Entry*>(data);
  entry->output.width = width;
  entry->output.height = height;
  // Version 1 has no done event; its geometry comes before the mode.
  if (wl_output_get_version(output) < WL_OUTPUT_DONE_SINCE_VERSION) onDone(data, output);
}

void WaylandOutputs::onDone(void* data, wl_output*) {
  auto* entry = static_cast<Entry*>(data);
  if (entry->output.ready) return;
  entry->output.ready = true;
  if (entry->owner->ready_) entry->owner->ready_(entry->output);
}

void WaylandOutputs::onScale(void* data, wl_output*, int32_t factor) {
  static_cast<Entry*>(data)->output.scale = std::max(1, factor);
}

void WaylandOutputs::onName(void* data, wl_output*, const char* name) {
  static_cast<Entry*>(data)->output.name = name ? name : "";
}

void WaylandOutputs::onDescription(void*, wl_output*, const char*) {}

}  // namespace moonwisp
