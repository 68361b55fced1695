#include "platform/egl/egl_display.h"

#include <EGL/eglext.h>

#include <cstring>
#include <vector>

namespace moonwisp {
namespace {

EGLint attribute(EGLDisplay display, EGLConfig config, EGLint name) {
  EGLint value = 0;
  eglGetConfigAttrib(display, config, name, &value);
  return value;
}

}  // namespace

bool hasEglExtension(const char* list, const char* name) {
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
    if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  }
  return false;
}

EGLDisplay openEglDisplay(EGLenum platform, void* native, const std::string& what, std::string* error) {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  const EGLDisplay display = getPlatformDisplay ? getPlatformDisplay(platform, native, nullptr) : EGL_NO_DISPLAY;
  if (display == EGL_NO_DISPLAY) {
    *error = "EGL has no display for " + what;
    return EGL_NO_DISPLAY;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor)) {
    *error = "cannot initialise EGL on " + what;
    return EGL_NO_DISPLAY;
  }
  return display;
}

bool chooseEglConfig(EGLDisplay display, EGLint surfaceType, EGLConfig* chosen) {
  const EGLint request[] = {EGL_SURFACE_TYPE, surfaceType, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                            EGL_RED_SIZE,     8,           EGL_GREEN_SIZE,      8,
                            EGL_BLUE_SIZE,    8,           EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(display, request, nullptr, 0, &count) || count < 1) return false;
  std::vector<EGLConfig> configs(static_cast<size_t>(count));
  if (!eglChooseConfig(display, request, configs.data(), count, &count)) return false;
  int best = -1;
  int bestScore = -1;
  for (int i = 0; i < count; ++i) {
    const EGLConfig config = configs[static_cast<size_t>(i)];
    if (attribute(display, config, EGL_RED_SIZE) != 8 || attribute(display, config, EGL_GREEN_SIZE) != 8 ||
        attribute(display, config, EGL_BLUE_SIZE) != 8 || attribute(display, config, EGL_ALPHA_SIZE) != 0)
      continue;
    const int score = attribute(display, config, EGL_DEPTH_SIZE) >= 16 ? 1 : 0;
    if (score > bestScore) {
      best = i;
      bestScore = score;
    }
  }
  if (best < 0) return false;
  *chosen = configs[static_cast<size_t>(best)];
  return true;
}

}  // namespace moonwisp
