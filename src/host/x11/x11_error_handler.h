#pragma once
// X errors arrive asynchronously; Xlib's default handler ends the process.
// Ours logs them instead, and lets a caller catch the errors of a few requests
// it expects may fail (a window id that does not exist, a config that the
// server refuses).
#include <X11/Xlib.h>

namespace moonwisp {

// Installs the logging handler once per process; later calls do nothing.
void installX11ErrorHandler();

// While an X11ErrorTrap lives, errors of the requests sent on its display
// after its creation are recorded rather than logged. check() waits for the
// server to answer every request sent so far (one round trip) and returns the
// first error code caught (0 when none).
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  int check();

 private:
  Display* display_;
  X11ErrorTrap* outer_;
  unsigned long firstSerial_;
  int error_ = 0;
  friend int handleX11Error(Display*, XErrorEvent*);
};

}  // namespace moonwisp
