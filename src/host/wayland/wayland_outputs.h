#pragma once
// The compositor's outputs (monitors) as displays. Each wl_output gets a
// display id in the order the compositor announces it (1, 2, ...; an output
// announced again after it went away gets a new one). Wayland has no primary
// output, so the main display is the first announced output still present.
#include <wayland-client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace moonwisp {

struct WaylandOutput {
  uint32_t id = 0;          // display id
  uint32_t globalName = 0;  // the registry's name of the global
  wl_output* output = nullptr;
  std::string name;         // e.g. "HEADLESS-1"; empty before wl_output version 4
  int x = 0;                // position in the compositor's space, as announced
  int y = 0;
  int width = 0;            // current mode in pixels
  int height = 0;
  int scale = 1;
  bool ready = false;       // its first description is complete
};

class WaylandOutputs {
 public:
  // Called once per output when its description is first complete, and just
  // before an output that had been ready goes away.
  using Callback = std::function<void(const WaylandOutput&)>;

  WaylandOutputs() = default;
  ~WaylandOutputs();
  WaylandOutputs(const WaylandOutputs&) = delete;
  WaylandOutputs& operator=(const WaylandOutputs&) = delete;

  void setCallbacks(Callback ready, Callback gone);
  // A wl_output global announced by the registry.
  void add(wl_registry* registry, uint32_t globalName, uint32_t version);
  // A global removed by the registry; false when it was not an output of ours.
  bool remove(uint32_t globalName);

  const WaylandOutput* byId(uint32_t id) const;
  const WaylandOutput* byOutput(const wl_output* output) const;
  // The first announced output that is still present and ready; 0 when none.
  uint32_t mainId() const;
  // The display ids of the ready outputs, in the order announced.
  std::vector<uint32_t> readyIds() const;

 private:
  static void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                         const char*, const char*, int32_t);
  static void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t);
  static void onDone(void* data, wl_output*);
  static void onScale(void* data, wl_output*, int32_t factor);
  static void onName(void* data, wl_output*, const char* name);
  static void onDescription(void* data, wl_output*, const char*);

  struct Entry {
    WaylandOutputs* owner = nullptr;
    WaylandOutput output;
  };
  std::vector<std::unique_ptr<Entry>> entries_;  // in the order announced
  uint32_t nextId_ = 1;
  Callback ready_;
  Callback gone_;
};

}  // namespace moonwisp
