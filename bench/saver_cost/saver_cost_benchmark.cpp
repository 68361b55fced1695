// moonwisp-bench-saver-cost: what one frame of the saver costs, drawn the way
// the saver's frame step draws it (make current, clear, update, draw, present,
// release), into a window of its own through GLX and headless through EGL,
// side by side at 640 x 400, 1920 x 1080 and 3840 x 2160, 20, 77 and 220
// butterflies, with glow off and on, the glow drawn by its fast path and by
// the fixed-function passes (the fallback).
//
// For each case it prints the process CPU time per frame (all threads, the GL
// driver's rasterizer threads included), the wall time per frame, and the
// number of GL calls the frame step makes, counted by link-time wrappers
// around each GL entry point the renderer uses (gluPerspective counts as one,
// and so does each switch of shader program or framebuffer). Then, per size and count, glow
// on against glow off in CPU time, for either blur. Frames run back to back,
// unpaced; at the saver's 60 frames per second the share of a core is CPU
// per frame x 60.
//
//   moonwisp-bench-saver-cost [--frames N] [--width W --height H] (one size)
//                             [--quantity Q] [--glow 0|1] [--path fast|fixed]
//
// Needs an X display (DISPLAY) as large as the largest size for the GLX rows;
// without one it prints the EGL rows alone.
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
#include <vector>

#include "math/Random.h"
#include "platform/egl/egl_surface.h"
#include "platform/gl/gl_entry_points.h"
#include "host/x11/glx_context.h"
#include "saver/gl_resources.h"
#include "world/VelButterflySystem.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelWorldRender.h"

namespace {

uint64_t glCalls = 0;
PFNGLUSEPROGRAMPROC realUseProgram = nullptr;
PFNGLBINDFRAMEBUFFERPROC realBindFramebuffer = nullptr;

void APIENTRY countedUseProgram(GLuint program) {
  ++glCalls;
  realUseProgram(program);
}

void APIENTRY countedBindFramebuffer(GLenum target, GLuint framebuffer) {
  ++glCalls;
  realBindFramebuffer(target, framebuffer);
}

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
COUNTED(void, glTexParameteri, (GLenum target, GLenum name, GLint value), (target, name, value))
COUNTED(void, glGetIntegerv, (GLenum name, GLint* values), (name, values))
COUNTED(void, glGetFloatv, (GLenum name, GLfloat* values), (name, values))
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
void frameStep(moonwisp::GLSurface& surface, VelWorld* world, const GLuint* textures, const GLuint* lists,
               VelGlowBlur* blur) {
  surface.makeCurrent();
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  updateVelWorld(world, 16667);
  drawVelWorld(world, nullptr, textures, lists, 1.0f, blur);
  surface.flushBuffer();
  surface.release();
}

// The glow: off, its fixed-function passes, or its fast path (program
// switches counted).
enum class Glow { kOff, kFixed, kFast };

bool measure(moonwisp::GLSurface& surface, int width, int height, int quantity, Glow glow, int frames, Cost* cost) {
  if (!surface.makeCurrent()) return false;
  setSaverViewGLState(width, height);
  GLuint textures[kTextureCount] = {};
  GLuint lists[kDisplayListCount] = {};
  bool loaded = false;
  glDataLoad(textures, lists, &loaded, width, height);
  VelGlowBlur blur{};
  bool shaded = true;
  if (glow == Glow::kFast) {
    GLGlowCalls calls{};
    shaded = loadGLGlowCalls(&calls, moonwisp::glEntryPoint);
    realUseProgram = calls.useProgram;
    calls.useProgram = countedUseProgram;
    realBindFramebuffer = calls.bindFramebuffer;
    calls.bindFramebuffer = countedBindFramebuffer;
    shaded = shaded && initVelGlowBlur(&blur, width, height, calls);
  }
  seedRandom(1);
  VelWorld world{};
  const int8_t glowFlag = glow == Glow::kOff ? 0 : 1;
  const bool built =
      initializeVelWorldFromSettings(&world, defaultVelWorldSettings(quantity, 6, glowFlag, width, height)) == 0;
  surface.release();
  const bool ready = built && loaded && shaded;
  if (ready) {
    for (int i = 0; i < 10; ++i) frameStep(surface, &world, textures, lists, &blur);  // warm up
    surface.makeCurrent();
    glFinish();
    surface.release();
    glCalls = 0;
    const double cpu0 = processCpuMs();
    const double wall0 = wallMs();
    for (int i = 0; i < frames; ++i) frameStep(surface, &world, textures, lists, &blur);
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
  freeVelGlowBlur(&blur);
  glDataDispose(textures, lists, &loaded);
  surface.release();
  return ready;
}

int intArgument(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

const char* argument(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

struct Size {
  int width, height;
};

// A window of our own on the X display, drawn into only once it is on screen
// (as the saver does), its swaps unpaced; null without a display or when the
// window cannot be made.
std::unique_ptr<moonwisp::GLSurface> makeWindow(Display* display, Size size) {
  if (!display) return nullptr;
  auto window = moonwisp::GlxSurface::createWindow(display, size.width, size.height, "moonwisp-bench-saver-cost");
  if (!window) return nullptr;
  XWindowAttributes attributes{};
  for (int i = 0; i < 500; ++i) {
    XGetWindowAttributes(display, window->window().id(), &attributes);
    if (attributes.map_state == IsViewable) break;
    XSync(display, False);
  }
  if (attributes.width != size.width || attributes.height != size.height) return nullptr;  // display too small
  if (window->makeCurrent()) {
    window->setSwapInterval(0);  // unpaced: the cost, not the timer
    window->release();
  }
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = intArgument(argc, argv, "--frames", 60);
  const int onlyWidth = intArgument(argc, argv, "--width", 0);
  const int onlyHeight = intArgument(argc, argv, "--height", 0);
  const int onlyQuantity = intArgument(argc, argv, "--quantity", 0);
  const int onlyGlow = intArgument(argc, argv, "--glow", -1);
  const std::string onlyPath = argument(argc, argv, "--path", "");
  if (frames < 1 || (onlyWidth != 0) != (onlyHeight != 0) || (onlyWidth != 0 && (onlyWidth < 2 || onlyHeight < 2)) ||
      (!onlyPath.empty() && onlyPath != "fast" && onlyPath != "fixed")) {
    std::fprintf(stderr,
                 "usage: %s [--frames N>=1] [--width W>=2 --height H>=2] [--quantity Q] [--glow 0|1] "
                 "[--path fast|fixed]\n",
                 argv[0]);
    return 2;
  }
  std::vector<Size> sizes = {{640, 400}, {1920, 1080}, {3840, 2160}};
  if (onlyWidth != 0) sizes = {{onlyWidth, onlyHeight}};

  // The heap setting moonwisp runs with: it keeps the GL driver's freed
  // command memory instead of faulting it in again at every frame.
  mallopt(M_TRIM_THRESHOLD, 16 << 20);

  Display* display = XOpenDisplay(nullptr);
  if (!display) std::fprintf(stderr, "moonwisp-bench-saver-cost: no X display; headless rows only\n");
  bool named = false;
  for (const Size size : sizes) {
    std::string error;
    std::unique_ptr<moonwisp::GLSurface> egl = moonwisp::EglSurface::create(size.width, size.height, &error);
    if (!egl) {
      std::fprintf(stderr, "moonwisp-bench-saver-cost: no headless context: %s\n", error.c_str());
      return 1;
    }
    std::unique_ptr<moonwisp::GLSurface> glx = makeWindow(display, size);
    if (display && !glx)
      std::fprintf(stderr, "moonwisp-bench-saver-cost: no %d x %d window; headless rows only\n", size.width,
                   size.height);
    if (!named) {
      egl->makeCurrent();
      std::printf("%d frames per case, on %s\n", frames, reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
      egl->release();
      std::printf("view        butterflies glow    | GLX CPU ms  wall ms | EGL CPU ms  wall ms | GL calls | GLX/EGL CPU\n");
      named = true;
    }
    for (int quantity : {20, 77, 220}) {
      if (onlyQuantity != 0 && quantity != onlyQuantity) continue;
      Cost off[2] = {}, on[2][2] = {};  // [window, headless]; on: [fixed, fast]
      for (Glow glow : {Glow::kOff, Glow::kFixed, Glow::kFast}) {
        if (onlyGlow >= 0 && (glow != Glow::kOff) != (onlyGlow == 1)) continue;
        if (glow == Glow::kFixed && onlyPath == "fast") continue;
        if (glow == Glow::kFast && onlyPath == "fixed") continue;
        Cost* row = glow == Glow::kOff ? off : on[glow == Glow::kFast];
        const bool windowed = glx && measure(*glx, size.width, size.height, quantity, glow, frames, &row[0]);
        if (!measure(*egl, size.width, size.height, quantity, glow, frames, &row[1])) {
          std::fprintf(stderr, "moonwisp-bench-saver-cost: the headless case could not be set up\n");
          return 1;
        }
        const char* name = glow == Glow::kOff ? "off" : glow == Glow::kFixed ? "fixed" : "fast";
        char view[24];
        std::snprintf(view, sizeof view, "%d x %d", size.width, size.height);
        if (windowed) {
          std::printf("%-11s %11d %-7s | %10.3f %8.3f | %10.3f %8.3f | %8.0f | %10.2f\n", view, quantity, name,
                      row[0].cpuMs, row[0].wallMs, row[1].cpuMs, row[1].wallMs, row[1].calls,
                      row[0].cpuMs / row[1].cpuMs);
        } else {
          std::printf("%-11s %11d %-7s | %10s %8s | %10.3f %8.3f | %8.0f |\n", view, quantity, name, "-", "-",
                      row[1].cpuMs, row[1].wallMs, row[1].calls);
        }
        std::fflush(stdout);
      }
      if (off[1].cpuMs > 0 && (on[0][1].cpuMs > 0 || on[1][1].cpuMs > 0)) {
        auto ratio = [](const Cost& a, const Cost& b) { return a.cpuMs > 0 && b.cpuMs > 0 ? a.cpuMs / b.cpuMs : 0.0; };
        std::printf("%-11s %11d glow on / off, CPU: fixed GLX %.2f EGL %.2f, fast GLX %.2f EGL %.2f\n", "",
                    quantity, ratio(on[0][0], off[0]), ratio(on[0][1], off[1]), ratio(on[1][0], off[0]),
                    ratio(on[1][1], off[1]));
        std::fflush(stdout);
      }
    }
  }
  if (display) XCloseDisplay(display);
  return 0;
}
