#include "platform/egl/egl_surface.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/egl/egl_display.h"
#include "platform/gl/gl_driver.h"

namespace moonwisp {
namespace {

// Framebuffer-object entry points: they are not part of OpenGL 1.x, so they
// come from eglGetProcAddress.
struct FramebufferApi {
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

  bool load() {
    genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
    deleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(eglGetProcAddress("glDeleteFramebuffers"));
    bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
    genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
    deleteRenderbuffers = reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(eglGetProcAddress("glDeleteRenderbuffers"));
    bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
    renderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
    framebufferRenderbuffer = reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
    checkFramebufferStatus = reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(eglGetProcAddress("glCheckFramebufferStatus"));
    return genFramebuffers && deleteFramebuffers && bindFramebuffer && genRenderbuffers &&
           deleteRenderbuffers && bindRenderbuffer && renderbufferStorage &&
           framebufferRenderbuffer && checkFramebufferStatus;
  }
};

// The surfaceless display is shared by every surface of the process and
// terminated when the last one goes.
EGLDisplay sharedDisplay = EGL_NO_DISPLAY;
int displayUsers = 0;

EGLDisplay acquireDisplay(std::string* error) {
  if (sharedDisplay != EGL_NO_DISPLAY) {
    ++displayUsers;
    return sharedDisplay;
  }
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!hasEglExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
    *error = "EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)";
    return EGL_NO_DISPLAY;
  }
  const EGLDisplay display =
      openEglDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, "the surfaceless platform", error);
  if (display == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
  sharedDisplay = display;
  displayUsers = 1;
  return display;
}

void releaseDisplay() {
  if (--displayUsers == 0) {
    eglTerminate(sharedDisplay);
    eglReleaseThread();
    sharedDisplay = EGL_NO_DISPLAY;
  }
}

}  // namespace

struct EglSurface::State {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  FramebufferApi fb;
  GLuint framebuffer = 0;
  GLuint colour = 0;
  GLuint depth = 0;

  ~State() {
    if (context != EGL_NO_CONTEXT) {
      if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (framebuffer) fb.deleteFramebuffers(1, &framebuffer);
        if (colour) fb.deleteRenderbuffers(1, &colour);
        if (depth) fb.deleteRenderbuffers(1, &depth);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      }
      eglDestroyContext(display, context);
    }
    if (display != EGL_NO_DISPLAY) releaseDisplay();
  }
};

std::unique_ptr<EglSurface> EglSurface::create(int width, int height, std::string* error) {
  std::string reason;
  if (!error) error = &reason;
  if (width < 1 || height < 1) {
    *error = "surface size " + std::to_string(width) + " x " + std::to_string(height) +
             " has a side below 1";
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->display = acquireDisplay(error);
  if (state->display == EGL_NO_DISPLAY) return nullptr;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    *error = "EGL cannot bind the desktop OpenGL API";
    return nullptr;
  }
  const char* extensions = eglQueryString(state->display, EGL_EXTENSIONS);
  if (!hasEglExtension(extensions, "EGL_KHR_surfaceless_context")) {
    *error = "EGL has no surfaceless contexts (EGL_KHR_surfaceless_context)";
    return nullptr;
  }
  EGLConfig config = EGL_NO_CONFIG_KHR;
  if (!hasEglExtension(extensions, "EGL_KHR_no_config_context") &&
      !hasEglExtension(extensions, "EGL_MESA_configless_context") &&
      !chooseEglConfig(state->display, EGL_DONT_CARE, &config)) {
    *error = "EGL has no configuration for desktop OpenGL";
    return nullptr;
  }
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1, EGL_NONE};
  state->context = eglCreateContext(state->display, config, EGL_NO_CONTEXT, attributes);
  if (state->context == EGL_NO_CONTEXT) {
    *error = "EGL cannot create an OpenGL 2.1 context";
    return nullptr;
  }
  if (!eglMakeCurrent(state->display, EGL_NO_SURFACE, EGL_NO_SURFACE, state->context)) {
    *error = "EGL cannot make the context current";
    return nullptr;
  }
  keepGLDriversLoaded();
  if (!state->fb.load()) {
    *error = "OpenGL has no framebuffer objects";
    return nullptr;
  }
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSide);
  GLint viewportMax[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportMax);
  if (viewportMax[0] > 0 && viewportMax[0] < maxSide) maxSide = viewportMax[0];
  if (width > maxSide || height > maxSide) {
    *error = "surface size " + std::to_string(width) + " x " + std::to_string(height) +
             " exceeds the largest side " + std::to_string(maxSide);
    return nullptr;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  FramebufferApi& fb = state->fb;
  fb.genRenderbuffers(1, &state->colour);
  fb.bindRenderbuffer(GL_RENDERBUFFER, state->colour);
  fb.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  fb.genRenderbuffers(1, &state->depth);
  fb.bindRenderbuffer(GL_RENDERBUFFER, state->depth);
  fb.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  fb.bindRenderbuffer(GL_RENDERBUFFER, 0);
  fb.genFramebuffers(1, &state->framebuffer);
  fb.bindFramebuffer(GL_FRAMEBUFFER, state->framebuffer);
  fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, state->colour);
  fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, state->depth);
  if (glGetError() != GL_NO_ERROR ||
      fb.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    *error = "cannot make a " + std::to_string(width) + " x " + std::to_string(height) +
             " framebuffer";
    return nullptr;
  }
  // A context made current without a surface starts with an empty viewport.
  glViewport(0, 0, width, height);
  glScissor(0, 0, width, height);
  eglMakeCurrent(state->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  return std::unique_ptr<EglSurface>(new EglSurface(std::move(state), width, height));
}

EglSurface::EglSurface(std::unique_ptr<State> state, int width, int height)
    : state_(std::move(state)), width_(width), height_(height) {}

EglSurface::~EglSurface() = default;

bool EglSurface::makeCurrent() {
  if (!eglMakeCurrent(state_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, state_->context)) return false;
  // The framebuffer object is part of the context's state and stays bound;
  // binding it again costs nothing and guards against a caller unbinding it.
  state_->fb.bindFramebuffer(GL_FRAMEBUFFER, state_->framebuffer);
  return true;
}

void EglSurface::release() {
  if (eglGetCurrentContext() == state_->context)
    eglMakeCurrent(state_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void EglSurface::flushBuffer() {
  if (eglGetCurrentContext() == state_->context) glFlush();
}

SurfaceBounds EglSurface::bounds() const {
  return {static_cast<double>(width_), static_cast<double>(height_)};
}

bool EglSurface::setSwapInterval(int) { return false; }

}  // namespace moonwisp
