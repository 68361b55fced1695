// moonwisp-bench-saver-cost: what one frame of the saver costs, drawn the way
// the saver's frame step draws it (make current, clear, update, draw, present,
// release), into a window of its own through GLX and headless through EGL,
// side by side at 20, 77 and 220 butterflies with glow off and on.
//
// For each case it prints the process CPU time per frame (all threads, the GL
// driver's rasterizer threads included), the wall time per frame, and the
// number of GL calls the frame step makes, counted by link-time wrappers
// around each GL entry point the renderer uses (gluPerspective counts as one).
// Frames run back to back, unpaced; at the saver's 60 frames per second the
// share of a core is CPU per frame x 60.
//
//   moonwisp-bench-saver-cost [--frames N] [--width W] [--height H]
//                             [--quantity Q] [--glow 0|1]   (one row only)
//
// Needs an X display (DISPLAY) for the GLX rows; without one it prints the EGL
// rows alone.
#include <GL/gl.h>
#include <GL/glu.h>
#include <X11/Xlib.h>
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "math/Random.h"
#include "platform/gl/egl_context.h"
#include "platform/gl/glx_context.h"
#include "saver/gl_resources.h"
#include "world/VelButterflySystem.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelWorldRender.h"

namespace {

uint64_t glCalls = 0;

}  // namespace

// Every GL call of the frame step lands here first (see CMakeLists.txt).
#define COUNTED(ret, name, params, args)   \
  extern "C" ret __real_##name params;     \
  extern "C" ret __wrap_##name params {    \
    ++glCalls;                             \
    return __real_##name args;             \
  }
COUNTED(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
COUNTED(void, glClear, (GLbitfield mask), (mask))
COUNTED(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
COUNTED(void, glMatrixMode, (GLenum mode), (mode))
COUNTED(void, glPushMatrix, (void), ())
COUNTED(void, glPopMatrix, (void), ())
COUNTED(void, glLoadIdentity, (void), ())
COUNTED(void, glBindTexture, (GLenum target, GLuint texture), (target, texture))
COUNTED(void, glBlendFunc, (GLenum s, GLenum d), (s, d))
COUNTED(void, glEnable, (GLenum cap), (cap))
COUNTED(void, glDisable, (GLenum cap), (cap))
COUNTED(void, glTranslated, (GLdouble x, GLdouble y, GLdouble z), (x, y, z))
COUNTED(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
COUNTED(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
COUNTED(void, glRotatef, (GLfloat a, GLfloat x, GLfloat y, GLfloat z), (a, x, y, z))
COUNTED(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))
COUNTED(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* p), (size, type, stride, p))
COUNTED(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* p), (size, type, stride, p))
COUNTED(void, glEnableClientState, (GLenum array), (array))
COUNTED(void, glDisableClientState, (GLenum array), (array))
COUNTED(void, glBegin, (GLenum mode), (mode))
COUNTED(void, glEnd, (void), ())
COUNTED(void, glTexCoord2f, (GLfloat s, GLfloat t), (s, t))
COUNTED(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
COUNTED(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
COUNTED(void, glCopyTexImage2D,
        (GLenum t, GLint l, GLenum f, GLint x, GLint y, GLsizei w, GLsizei h, GLint b), (t, l, f, x, y, w, h, b))
COUNTED(void, glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f),
        (l, r, b, t, n, f))
COUNTED(void, glCallList, (GLuint list), (list))
COUNTED(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar),
        (fovy, aspect, zNear, zFar))
#undef COUNTED

namespace {

struct Cost {
  double cpuMs = 0;   // per frame
  double wallMs = 0;  // per frame
  double calls = 0;   // per frame
};

double processCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double wallMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The frame step as the saver runs it, minus the first-frames blanking.
void frameStep(moonwisp::GLSurface& surface, VelWorld* world, const GLuint* textures, const GLuint* lists) {
  surface.makeCurrent();
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  updateVelWorld(world, 16667);
  drawVelWorld(world, nullptr, textures, lists, 1.0f);
  surface.flushBuffer();
  surface.release();
}

bool measure(moonwisp::GLSurface& surface, int width, int height, int quantity, int glow, int frames, Cost* cost) {
  if (!surface.makeCurrent()) return false;
  setSaverViewGLState(width, height);
  GLuint textures[kTextureCount] = {};
  GLuint lists[kDisplayListCount] = {};
  bool loaded = false;
  glDataLoad(textures, lists, &loaded, width, height);
  seedRandom(1);
  VelWorld world{};
  const bool built = initializeVelWorldFromSettings(&world, defaultVelWorldSettings(quantity, 6, static_cast<int8_t>(glow),
                                                                                     width, height)) == 0;
  surface.release();
  const bool ready = built && loaded;
  if (ready) {
    for (int i = 0; i < 30; ++i) frameStep(surface, &world, textures, lists);  // warm up
    surface.makeCurrent();
    glFinish();
    surface.release();
    glCalls = 0;
    const double cpu0 = processCpuMs();
    const double wall0 = wallMs();
    for (int i = 0; i < frames; ++i) frameStep(surface, &world, textures, lists);
    surface.makeCurrent();
    glFinish();  // the last frames' rasterization belongs to them
    const uint64_t calls = glCalls;
    cost->cpuMs = (processCpuMs() - cpu0) / frames;
    cost->wallMs = (wallMs() - wall0) / frames;
    cost->calls = static_cast<double>(calls) / frames;
    surface.release();
  }
  surface.makeCurrent();
  freeVelWorld(&world);
  glDataDispose(textures, lists, &loaded);
  surface.release();
  return ready;
}

int intArgument(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = intArgument(argc, argv, "--frames", 300);
  const int width = intArgument(argc, argv, "--width", 640);
  const int height = intArgument(argc, argv, "--height", 400);
  const int onlyQuantity = intArgument(argc, argv, "--quantity", 0);
  const int onlyGlow = intArgument(argc, argv, "--glow", -1);
  if (frames < 1 || width < 2 || height < 2) {
    std::fprintf(stderr, "usage: %s [--frames N>=1] [--width W>=2] [--height H>=2]\n", argv[0]);
    return 2;
  }

  // The heap setting moonwisp runs with: it keeps the GL driver's freed
  // command memory instead of faulting it in again at every frame.
  mallopt(M_TRIM_THRESHOLD, 16 << 20);

  std::string error;
  std::unique_ptr<moonwisp::GLSurface> egl = moonwisp::EglSurface::create(width, height, &error);
  if (!egl) {
    std::fprintf(stderr, "moonwisp-bench-saver-cost: no headless context: %s\n", error.c_str());
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  std::unique_ptr<moonwisp::GLSurface> glx;
  if (display) {
    auto window = moonwisp::GlxSurface::createWindow(display, width, height, "moonwisp-bench-saver-cost");
    if (window) {
      // Draw only once the window is on screen, as the saver does.
      XWindowAttributes attributes{};
      for (int i = 0; i < 500; ++i) {
        XGetWindowAttributes(display, window->window().id(), &attributes);
        if (attributes.map_state == IsViewable) break;
        XSync(display, False);
      }
      if (window->makeCurrent()) {
        window->setSwapInterval(0);  // unpaced: the cost, not the timer
        window->release();
      }
      glx = std::move(window);
    }
  }
  if (!glx) std::fprintf(stderr, "moonwisp-bench-saver-cost: no X display; headless rows only\n");

  egl->makeCurrent();
  std::printf("%d x %d, %d frames per case, on %s\n", width, height, frames,
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  egl->release();
  std::printf("butterflies glow | GLX CPU ms  wall ms | EGL CPU ms  wall ms | GL calls | GLX/EGL CPU\n");
  for (int quantity : {20, 77, 220}) {
    for (int glow : {0, 1}) {
      if ((onlyQuantity != 0 && quantity != onlyQuantity) || (onlyGlow >= 0 && glow != onlyGlow)) continue;
      Cost onWindow, headless;
      const bool windowed = glx && measure(*glx, width, height, quantity, glow, frames, &onWindow);
      if (!measure(*egl, width, height, quantity, glow, frames, &headless)) {
        std::fprintf(stderr, "moonwisp-bench-saver-cost: the headless case could not be set up\n");
        return 1;
      }
      if (windowed) {
        std::printf("%11d %4s | %10.3f %8.3f | %10.3f %8.3f | %8.0f | %10.2f\n", quantity, glow ? "on" : "off",
                    onWindow.cpuMs, onWindow.wallMs, headless.cpuMs, headless.wallMs, headless.calls,
                    onWindow.cpuMs / headless.cpuMs);
      } else {
        std::printf("%11d %4s | %10s %8s | %10.3f %8.3f | %8.0f |\n", quantity, glow ? "on" : "off", "-", "-",
                    headless.cpuMs, headless.wallMs, headless.calls);
      }
      std::fflush(stdout);
    }
  }
  glx.reset();
  egl.reset();
  if (display) XCloseDisplay(display);
  return 0;
}
