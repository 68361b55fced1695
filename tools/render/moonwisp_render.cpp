// moonwisp-render: draws the butterfly world headless (EGL, no display) frame
// by frame as the saver's frame step does, and writes the last frame as a PNG
// (and every K-th frame into a folder, for making a video). With --bench it
// prints how long the update, the butterflies' drawing and the glow passes
// take per frame.
#include <CLI/CLI.hpp>
#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "math/Random.h"
#include "platform/egl/egl_surface.h"
#include "platform/image/png_image.h"
#include "saver/gl_resources.h"
#include "world/VelButterflySystem.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelWorldRender.h"

namespace {

constexpr const char* kName = "moonwisp-render";

struct Options {
  uint32_t seed = 1;
  int32_t quantity = 220;
  int32_t color = 6;
  int32_t glow = 1;
  int32_t width = 1280;
  int32_t height = 800;
  int64_t frames = 120;
  int64_t dt = 16667;
  std::string out;
  int64_t every = 0;
  std::string outDir;
  bool bench = false;
  bool fixedGlow = false;
};

int usageError(const std::string& message) {
  std::string line = message;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::fprintf(stderr, "%s: %s\n", kName, line.c_str());
  return 2;
}

bool isWritableDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && access(path.c_str(), W_OK) == 0;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The frame's RGB pixels, rows from the top down.
bool writeFrame(const std::string& path, int width, int height, moonwisp::RasterImage* image,
                std::vector<uint8_t>* rows) {
  image->width = width;
  image->height = height;
  image->hasAlpha = false;
  const size_t stride = static_cast<size_t>(width) * 3;
  image->pixels.resize(stride * height);
  rows->resize(stride * height);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows->data());
  for (int y = 0; y < height; ++y)
    std::copy_n(rows->data() + (height - 1 - y) * stride, stride, image->pixels.data() + y * stride);
  std::string error;
  if (!moonwisp::writePngImage(path, *image, &error)) {
    std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
    return false;
  }
  return true;
}

double nowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Series {
  std::vector<double> values;
  void add(double v) { values.push_back(v); }
  double quantile(double q) {
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const size_t index = std::min(sorted.size() - 1, static_cast<size_t>(q * (sorted.size() - 1) + 0.5));
    return sorted[index];
  }
};

constexpr int kGlowSteps = 5;
constexpr const char* kGlowStepNames[kGlowSteps] = {"capture", "shrink", "sideways blur", "vertical blur",
                                                     "composite"};

struct Bench {
  Series update, butterflies, glow, total, ownCpu, recorded;
  Series steps[kGlowSteps];
  double stepStart = 0;
  GLuint recordingList = 0;

  void reserve(size_t n) {
    for (Series* s : {&update, &butterflies, &glow, &total, &ownCpu, &recorded}) s->values.reserve(n);
    for (Series& s : steps) s.values.reserve(n);
  }
};

// Times each glow step to its end (glFinish), from the end of the previous.
void glowStepDone(VelGlowStep step, void* context) {
  auto* bench = static_cast<Bench*>(context);
  glFinish();
  const double now = nowMs();
  bench->steps[static_cast<int>(step)].add(now - bench->stepStart);
  bench->stepStart = now;
}

// One frame as drawVelWorld draws it, timed in parts; glFinish before each
// reading so that each part's rendering is counted in it.
void benchFrame(moonwisp::EglSurface* surface, VelWorld* world, uint64_t dt, const GLuint* textures,
                const GLuint* lists, VelGlowBlur* blur, Bench* bench) {
  glFinish();
  const double start = nowMs();
  const double updateCpuStart = threadCpuMs();
  updateVelWorld(world, dt);
  const double updateCpu = threadCpuMs() - updateCpuStart;
  const double updated = nowMs();
  double butterflies = 0, glow = 0;
  if (velWorldDrawsGlow(world)) {
    const VelGlowFrame frame = beginVelWorldGlow(world, lists, blur);
    renderVelWorld(world, nullptr, textures, lists, 1.0f);
    glFinish();
    const double firstRender = nowMs();
    bench->stepStart = firstRender;
    drawVelWorldGlowPasses(world, textures, blur, frame, glowStepDone, bench);
    glFinish();
    const double passes = nowMs();
    renderVelWorld(world, nullptr, textures, lists, 1.0f);
    glFinish();
    const double end = nowMs();
    butterflies = (firstRender - updated) + (end - passes);
    glow = passes - firstRender;
  } else {
    renderVelWorld(world, nullptr, textures, lists, 1.0f);
    glFinish();
    butterflies = nowMs() - updated;
  }
  bench->update.add(updated - start);
  bench->butterflies.add(butterflies);
  bench->glow.add(glow);
  bench->total.add((updated - start) + butterflies + glow);

  // The CPU time of our own code: the update, and issuing the frame's GL
  // calls with no context current, where every call returns at once.
  surface->release();
  const double issueStart = threadCpuMs();
  drawVelWorld(world, nullptr, textures, lists, 1.0f, blur);
  bench->ownCpu.add(updateCpu + threadCpuMs() - issueStart);
  surface->makeCurrent();

  // The same calls recorded by Mesa into a display list (not executed): what
  // issuing them costs the driver's front end as well.
  const double recordStart = threadCpuMs();
  glNewList(bench->recordingList, GL_COMPILE);
  drawVelWorld(world, nullptr, textures, lists, 1.0f, blur);
  glEndList();
  bench->recorded.add(updateCpu + threadCpuMs() - recordStart);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Draws the butterfly world headless and writes the last frame as a PNG."};
  app.name(kName);
  app.set_version_flag("--version", std::string(kName) + " " MOONWISP_VERSION);
  // Ranges and defaults are told in the texts: the parser's own notation
  // ("INT:INT in [1 - 8192]=1280") only clutters the help.
  const auto range = [](auto low, auto high) { return CLI::Range(low, high).description(""); };
  Options o;
  app.add_option("--seed", o.seed, "random seed, 0 to 4294967295 (default 1)")
      ->type_name("N")
      ->check(range(0u, 4294967295u));
  app.add_option("--quantity", o.quantity, "number of butterflies, 0 to 100000 (default 220)")
      ->type_name("N")
      ->check(range(0, 100000));
  app.add_option("--color", o.color, "colour choice 0 to 7 (5: random fixed, 6 and 7: cycling; default 6)")
      ->type_name("N")
      ->check(range(0, 7));
  app.add_option("--glow", o.glow, "glow 0 or 1 (default 1)")->type_name("N")->check(range(0, 1));
  app.add_option("--width", o.width, "picture width in pixels, 1 to 8192 (default 1280)")
      ->type_name("N")
      ->check(range(1, 8192));
  app.add_option("--height", o.height, "picture height in pixels, 1 to 8192 (default 800)")
      ->type_name("N")
      ->check(range(1, 8192));
  app.add_option("--frames", o.frames, "number of frames, 1 to 10000000 (default 120)")
      ->type_name("N")
      ->check(range(int64_t{1}, int64_t{10000000}));
  app.add_option("--dt", o.dt, "frame time in microseconds, 1 to 1000000000 (default 16667)")
      ->type_name("US")
      ->check(range(int64_t{1}, int64_t{1000000000}));
  app.add_option("--out", o.out, "PNG file for the last frame")->type_name("FILE")->required();
  auto* every = app.add_option("--every", o.every, "also write every K-th frame, 1 to 10000000")
                    ->type_name("K")
                    ->check(range(int64_t{1}, int64_t{10000000}));
  auto* outDir =
      app.add_option("--out-dir", o.outDir, "folder for the frames of --every")->type_name("FOLDER");
  every->needs(outDir);
  outDir->needs(every);
  app.add_flag("--bench", o.bench, "print per-frame timings");
  app.add_flag("--fixed-glow", o.fixedGlow,
               "draw the glow with the fixed-function passes (the fallback), even where the fast path runs");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    return usageError(e.what());
  }
  if (o.out.empty()) return usageError("--out: needs a file name");
  if (!isWritableDirectory(directoryOf(o.out)))
    return usageError("--out: cannot write into " + directoryOf(o.out));
  if (!o.outDir.empty() && !isWritableDirectory(o.outDir))
    return usageError("--out-dir: " + o.outDir + " is not a writable folder");

  std::string error;
  auto surface = moonwisp::EglSurface::create(o.width, o.height, &error);
  if (!surface) {
    std::fprintf(stderr, "%s: cannot draw headless: %s\n", kName, error.c_str());
    return 1;
  }
  if (!surface->makeCurrent()) {
    std::fprintf(stderr, "%s: cannot make the OpenGL context current\n", kName);
    return 1;
  }
  setSaverViewGLState(o.width, o.height);
  GLuint textures[kTextureCount] = {};
  GLuint lists[kDisplayListCount] = {};
  bool loaded = false;
  VelGlowBlur blur{};
  VelGlowBlur* glowBlur = o.fixedGlow ? nullptr : &blur;
  glDataLoad(textures, lists, &loaded, o.width, o.height, glowBlur);

  seedRandom(o.seed);
  VelWorld world{};
  if (initializeVelWorldFromSettings(
          &world, defaultVelWorldSettings(o.quantity, static_cast<int8_t>(o.color), static_cast<int8_t>(o.glow),
                                          o.width, o.height)) != 0) {
    std::fprintf(stderr, "%s: the world could not be built (out of memory)\n", kName);
    freeVelWorld(&world);
    return 1;
  }

  Bench bench;
  if (o.bench) {
    bench.reserve(static_cast<size_t>(o.frames));
    bench.recordingList = glGenLists(1);
  }
  moonwisp::RasterImage image;
  std::vector<uint8_t> rows;
  int status = 0;
  for (int64_t frame = 1; frame <= o.frames && status == 0; ++frame) {
    if (!loaded) glDataLoad(textures, lists, &loaded, o.width, o.height, glowBlur);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    if (o.bench) {
      benchFrame(surface.get(), &world, static_cast<uint64_t>(o.dt), textures, lists, &blur, &bench);
    } else {
      updateVelWorld(&world, static_cast<uint64_t>(o.dt));
      drawVelWorld(&world, nullptr, textures, lists, 1.0f, &blur);
    }
    if (o.every > 0 && frame % o.every == 0) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(frame));
      if (!writeFrame(o.outDir + name, o.width, o.height, &image, &rows)) status = 1;
    }
    if (frame == o.frames && !writeFrame(o.out, o.width, o.height, &image, &rows)) status = 1;
    surface->flushBuffer();
  }

  if (o.bench && status == 0) {
    const char* glow = !velWorldDrawsGlow(&world) ? "off" : blur.ready ? "on (fast path)" : "on (fixed-function)";
    std::printf("%s: %d butterflies, %d x %d, glow %s, %lld frames of %lld us, on %s\n", kName, o.quantity,
                o.width, o.height, glow, static_cast<long long>(o.frames),
                static_cast<long long>(o.dt), reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("per frame, ms           median      p95\n");
    std::printf("  update              %8.3f %8.3f\n", bench.update.quantile(0.5), bench.update.quantile(0.95));
    std::printf("  draw, butterflies   %8.3f %8.3f\n", bench.butterflies.quantile(0.5), bench.butterflies.quantile(0.95));
    std::printf("  draw, glow passes   %8.3f %8.3f\n", bench.glow.quantile(0.5), bench.glow.quantile(0.95));
    for (int k = 0; k < kGlowSteps && velWorldDrawsGlow(&world); ++k)
      std::printf("    %-17s %8.3f %8.3f\n", kGlowStepNames[k], bench.steps[k].quantile(0.5),
                  bench.steps[k].quantile(0.95));
    std::printf("  frame               %8.3f %8.3f\n", bench.total.quantile(0.5), bench.total.quantile(0.95));
    std::printf("  own CPU             %8.3f %8.3f   (update + issuing the GL calls)\n",
                bench.ownCpu.quantile(0.5), bench.ownCpu.quantile(0.95));
    std::printf("  own CPU + recording %8.3f %8.3f   (the calls recorded by the driver)\n",
                bench.recorded.quantile(0.5), bench.recorded.quantile(0.95));
  }
  if (bench.recordingList) glDeleteLists(bench.recordingList, 1);
  freeVelWorld(&world);
  glDataDispose(textures, lists, &loaded, glowBlur);
  surface->release();
  return status;
}
