#include "host/x11/glx_context.h"

#include <cstring>

#include "platform/core/system_log.h"
#include "platform/gl/gl_driver.h"
#include "host/x11/x11_error_handler.h"

namespace moonwisp {
namespace {

bool hasExtension(const char* list, const char* name) {
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
    const bool startsWord = p == list || p[-1] == ' ';
    const bool endsWord = p[length] == ' ' || p[length] == '\0';
    if (startsWord && endsWord) return true;
  }
  return false;
}

int attribute(Display* display, GLXFBConfig config, int name) {
  int value = 0;
  glXGetFBConfigAttrib(display, config, name, &value);
  return value;
}

}  // namespace

bool chooseGlxFBConfig(Display* display, int screen, VisualID visual, GLXFBConfig* config) {
  const int request[] = {GLX_X_RENDERABLE, True,
                         GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                         GLX_RENDER_TYPE, GLX_RGBA_BIT,
                         GLX_X_VISUAL_TYPE, GLX_TRUE_COLOR,
                         GLX_DOUBLEBUFFER, True,
                         GLX_RED_SIZE, 8,
                         GLX_GREEN_SIZE, 8,
                         GLX_BLUE_SIZE, 8,
                         GLX_DEPTH_SIZE, 16,
                         None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, request, &count);
  keepGLDriversLoaded();  // the first GLX call on a display loads the driver
  if (!configs) return false;
  // glXChooseFBConfig sorts the best first. Take the first with exactly 8
  // bits per colour channel (and, when asked, the window's visual); a window
  // of a deeper visual takes the first of its visual's configurations.
  bool found = false;
  for (int pass = 0; pass < 2 && !found; ++pass) {
    for (int i = 0; i < count && !found; ++i) {
      if (visual != 0 && static_cast<VisualID>(attribute(display, configs[i], GLX_VISUAL_ID)) != visual)
        continue;
      const bool eightBits = attribute(display, configs[i], GLX_RED_SIZE) == 8 &&
                             attribute(display, configs[i], GLX_GREEN_SIZE) == 8 &&
                             attribute(display, configs[i], GLX_BLUE_SIZE) == 8;
      if (pass == 0 && !eightBits) continue;
      if (pass == 1 && visual == 0) continue;
      *config = configs[i];
      found = true;
    }
  }
  XFree(configs);
  return found;
}

bool glxHasSwapControl(Display* display, int screen) {
  const char* extensions = glXQueryExtensionsString(display, screen);
  keepGLDriversLoaded();  // the query may have loaded the driver
  return hasExtension(extensions, "GLX_EXT_swap_control") ||
         hasExtension(extensions, "GLX_MESA_swap_control");
}

std::unique_ptr<X11Window> createGlxCapableWindow(Display* display, int width, int height, const std::string& title,
                                                  GLXFBConfig* config) {
  if (!chooseGlxFBConfig(display, DefaultScreen(display), 0, config)) {
    systemLog("Error: no double-buffered RGBA8 GLX configuration with a depth buffer");
    return nullptr;
  }
  XVisualInfo* visual = glXGetVisualFromFBConfig(display, *config);
  if (!visual) {
    systemLog("Error: the GLX configuration has no X visual");
    return nullptr;
  }
  std::unique_ptr<X11Window> window = X11Window::create(display, width, height, *visual, title);
  XFree(visual);
  return window;
}

std::unique_ptr<GlxSurface> GlxSurface::createWindow(Display* display, int width, int height,
                                                     const std::string& title) {
  if (!display) return nullptr;
  installX11ErrorHandler();
  GLXFBConfig config{};
  std::unique_ptr<X11Window> window = createGlxCapableWindow(display, width, height, title, &config);
  if (!window) return nullptr;
  std::unique_ptr<GlxSurface> surface = attach(std::move(window), config);
  if (surface) surface->window_->show();
  return surface;
}

std::unique_ptr<GlxSurface> GlxSurface::createForWindow(Display* display, Window id) {
  if (!display) return nullptr;
  installX11ErrorHandler();
  std::unique_ptr<X11Window> window = X11Window::adopt(display, id);
  if (!window) return nullptr;
  GLXFBConfig config{};
  if (!chooseGlxFBConfig(display, window->screen(), window->visualId(), &config)) {
    systemLog("Error: window 0x%lx has visual 0x%lx, for which there is no double-buffered "
              "RGBA8 GLX configuration with a depth buffer",
              static_cast<unsigned long>(id), static_cast<unsigned long>(window->visualId()));
    return nullptr;
  }
  return attach(std::move(window), config);
}

std::unique_ptr<GlxSurface> GlxSurface::attach(std::unique_ptr<X11Window> window,
                                               GLXFBConfig config) {
  Display* display = window->display();
  GLXContext context = nullptr;
  {
    X11ErrorTrap trap(display);
    context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
    if (trap.check() != 0 && context) {
      glXDestroyContext(display, context);
      context = nullptr;
    }
  }
  if (!context) {
    systemLog("Error: cannot create a GLX context for window 0x%lx",
              static_cast<unsigned long>(window->id()));
    return nullptr;
  }
  keepGLDriversLoaded();
  return std::unique_ptr<GlxSurface>(new GlxSurface(std::move(window), context));
}

GlxSurface::~GlxSurface() {
  Display* display = window_->display();
  X11ErrorTrap trap(display);
  if (glXGetCurrentContext() == context_) glXMakeCurrent(display, None, nullptr);
  glXDestroyContext(display, context_);
}

bool GlxSurface::makeCurrent() {
  // No round trip here: this runs every frame. A window that has gone makes
  // glXMakeCurrent fail, and the X error it causes is logged.
  if (lost_) return false;
  return glXMakeCurrent(window_->display(), window_->id(), context_) == True;
}

void GlxSurface::release() {
  if (glXGetCurrentContext() == context_) glXMakeCurrent(window_->display(), None, nullptr);
}

void GlxSurface::flushBuffer() {
  if (lost_ || glXGetCurrentContext() != context_) return;
  glXSwapBuffers(window_->display(), window_->id());
}

SurfaceBounds GlxSurface::bounds() const { return window_->size(); }

bool GlxSurface::setSwapInterval(int interval) {
  Display* display = window_->display();
  if (glXGetCurrentContext() != context_ || interval < 0) return false;
  const char* extensions = glXQueryExtensionsString(display, window_->screen());
  if (hasExtension(extensions, "GLX_EXT_swap_control")) {
    using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);
    auto swapInterval = reinterpret_cast<SwapIntervalExt>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
    if (!swapInterval) return false;
    X11ErrorTrap trap(display);
    swapInterval(display, window_->id(), interval);
    return trap.check() == 0;
  }
  if (hasExtension(extensions, "GLX_MESA_swap_control")) {
    using SwapIntervalMesa = int (*)(unsigned int);
    auto swapInterval = reinterpret_cast<SwapIntervalMesa>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
    return swapInterval && swapInterval(static_cast<unsigned int>(interval)) == 0;
  }
  return false;
}

}  // namespace moonwisp
