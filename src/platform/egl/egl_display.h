#pragma once
// EGL displays and configurations for desktop OpenGL, whatever the window
// system: the headless surface opens Mesa's surfaceless platform, the Wayland
// back end the display of its connection.
#include <EGL/egl.h>

#include <string>

namespace moonwisp {

// Whether the space-separated extension list names `name` exactly.
bool hasEglExtension(const char* list, const char* name);

// Opens and initialises the display of `platform` (EGL_PLATFORM_WAYLAND_KHR,
// EGL_PLATFORM_SURFACELESS_MESA, …) for the native display `native`; `what`
// names it in the reasons. EGL_NO_DISPLAY, with the reason in *error, when
// it cannot be opened; the caller terminates a display it got.
EGLDisplay openEglDisplay(EGLenum platform, void* native, const std::string& what, std::string* error);

// A configuration for desktop OpenGL with 8-bit red, green and blue and no
// alpha (an alpha channel would make a compositor blend the picture over
// what lies below), with a depth buffer of 16 bits or more where one offers
// it, that can make surfaces of surfaceType (EGL_WINDOW_BIT, or EGL_DONT_CARE).
// False when the display has none.
bool chooseEglConfig(EGLDisplay display, EGLint surfaceType, EGLConfig* chosen);

}  // namespace moonwisp
