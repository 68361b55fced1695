#include "world/render/VelGlowBlur.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "world/render/VelGlowBufferSize.h"

namespace {

const char* const kVertexShader =
    "#version 110\n"
    "varying vec2 texel;\n"
    "void main() {\n"
    "  gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "  texel = gl_MultiTexCoord0.st;\n"
    "}\n";

// One term of a fragment shader's sum: weight x the buffer at an offset (in
// texture units) along the pass's direction; the float literals (always with
// a point and an exponent, as GLSL 1.10 wants them) round-trip.
void addSample(std::string* source, VelGlowPass pass, double weight, double offset) {
  char term[160];
  const double s = pass == VelGlowPass::kSideways ? offset : 0.0;
  const double t = pass == VelGlowPass::kSideways ? 0.0 : offset;
  std::snprintf(term, sizeof term, "  sum += %.8e * texture2D(glow, texel + vec2(%.8e, %.8e)).rgb;\n",
                static_cast<float>(weight), static_cast<float>(s), static_cast<float>(t));
  *source += term;
}

std::string fragmentShader(const std::string& sums) {
  return "#version 110\n"
         "uniform sampler2D glow;\n"
         "varying vec2 texel;\n"
         "void main() {\n"
         "  vec3 sum = vec3(0.0);\n" +
         sums +
         "  gl_FragColor = vec4(sum, 1.0);\n"
         "}\n";
}

// The composite's colour under the modulate environment and the colour
// (1, 1, 1, 0.2) that the blur leaves current.
const char* const kCompositeShader =
    "#version 110\n"
    "uniform sampler2D glow;\n"
    "varying vec2 texel;\n"
    "void main() {\n"
    "  gl_FragColor = vec4(texture2D(glow, texel).rgb, 0.2);\n"
    "}\n";

// The copies as the fixed-function pass places them: the very offsets, read
// through the same filtering and clamping.
std::string copiesShader(VelGlowPass pass, VelAspectFactors factors) {
  std::string sums;
  const float aspect = velGlowPassAspect(pass, factors);
  for (int i = -4; i <= 4; ++i) addSample(&sums, pass, velGlowTapWeight(pass, i), velGlowTapOffset(i, aspect));
  return fragmentShader(sums);
}

// Each texel of the kernel read once at its centre (with nearest filtering,
// which llvmpipe does in about half the time of a bilinear sample).
std::string kernelShader(VelGlowPass pass, const VelGlowKernel& kernel, int32_t side) {
  std::string sums;
  for (int m = -kernel.radius; m <= kernel.radius; ++m)
    addSample(&sums, pass, kernel.weights[m + kernel.radius], static_cast<double>(m) / side);
  return fragmentShader(sums);
}

void setFilter(GLint filter) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

GLuint compile(const GLGlowCalls& gl, GLenum type, const char* source) {
  const GLuint shader = gl.createShader(type);
  if (shader == 0) return 0;
  gl.shaderSource(shader, 1, &source, nullptr);
  gl.compileShader(shader);
  GLint compiled = GL_FALSE;
  gl.getShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    gl.deleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint link(const GLGlowCalls& gl, const std::string& fragmentSource) {
  const GLuint vertex = compile(gl, GL_VERTEX_SHADER, kVertexShader);
  const GLuint fragment = compile(gl, GL_FRAGMENT_SHADER, fragmentSource.c_str());
  GLuint program = vertex && fragment ? gl.createProgram() : 0;
  if (program != 0) {
    gl.attachShader(program, vertex);
    gl.attachShader(program, fragment);
    gl.linkProgram(program);
    GLint linked = GL_FALSE;
    gl.getProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
      gl.deleteProgram(program);
      program = 0;
    }
  }
  // Attached shaders live on with the program.
  if (vertex) gl.deleteShader(vertex);
  if (fragment) gl.deleteShader(fragment);
  return program;
}

// The context's major version: the version string starts "major.minor".
int majorVersion() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return version ? std::atoi(version) : 0;
}

// Whether the extension string names `name` as a whole word.
bool hasExtension(const char* name) {
  const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  const size_t length = std::strlen(name);
  for (const char* at = all; at && (at = std::strstr(at, name)) != nullptr; at += length) {
    const bool starts = at == all || at[-1] == ' ';
    if (starts && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}

// A colour-only framebuffer object for the d1 x d1 first render and the d2 x
// d2 square beside it; the bindings are left as found. A view too large for
// the driver's renderbuffers gets none (and no GL error).
bool makeFramebuffer(VelGlowBlur* blur, int32_t d1, int32_t d2) {
  const GLGlowCalls& gl = blur->calls;
  GLint largest = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
  if (d1 + d2 > largest) return false;
  GLint framebuffer = 0, renderbuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
  gl.genRenderbuffers(1, &blur->colorbuffer);
  gl.bindRenderbuffer(GL_RENDERBUFFER, blur->colorbuffer);
  gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, d1 + d2, d1);
  gl.genFramebuffers(1, &blur->framebuffer);
  gl.bindFramebuffer(GL_FRAMEBUFFER, blur->framebuffer);
  gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, blur->colorbuffer);
  const bool complete = gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  gl.bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
  gl.bindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(renderbuffer));
  return complete && blur->framebuffer != 0 && blur->colorbuffer != 0;
}

// A rectangle of the square in texture units, drawn where it is sampled:
// texture row t lies at y = 1 - t under the flat projection.
void drawPart(float s0, float s1, float t0, float t1) {
  glTexCoord2f(s0, t0);
  glVertex3f(s0, 1 - t0, -1);
  glTexCoord2f(s0, t1);
  glVertex3f(s0, 1 - t1, -1);
  glTexCoord2f(s1, t1);
  glVertex3f(s1, 1 - t1, -1);
  glTexCoord2f(s1, t0);
  glVertex3f(s1, 1 - t0, -1);
}

// The parts of the coverage's rectangles inside `band` (texture units), on a
// target of width x height pixels.
void drawCovered(const VelGlowCoverage& c, int32_t width, int32_t height, VelGlowArea band) {
  glBegin(GL_QUADS);
  for (int32_t i = 0; i < c.rect_count; ++i) {
    const VelGlowArea a = velGlowArea(&c, c.rects[i], width, height);
    const float s0 = std::max(a.s0, band.s0), s1 = std::min(a.s1, band.s1);
    const float t0 = std::max(a.t0, band.t0), t1 = std::min(a.t1, band.t1);
    if (s0 < s1 && t0 < t1) drawPart(s0, s1, t0, t1);
  }
  glEnd();
}

// A band of the half glow buffer along the pass's direction, across it whole.
VelGlowArea band(VelGlowPass pass, float from, float to) {
  if (pass == VelGlowPass::kSideways) return {from, to, 0, 1};
  return {0, 1, from, to};
}

constexpr VelGlowArea kWhole = {0, 1, 0, 1};

}  // namespace

bool loadGLGlowCalls(GLGlowCalls* calls, GLProcResolver resolve) {
  bool all = true;
  auto find = [&](auto* slot, const char* name) {
    *slot = reinterpret_cast<std::remove_reference_t<decltype(*slot)>>(resolve(name));
    all = all && *slot != nullptr;
  };
  find(&calls->createShader, "glCreateShader");
  find(&calls->shaderSource, "glShaderSource");
  find(&calls->compileShader, "glCompileShader");
  find(&calls->getShaderiv, "glGetShaderiv");
  find(&calls->deleteShader, "glDeleteShader");
  find(&calls->createProgram, "glCreateProgram");
  find(&calls->attachShader, "glAttachShader");
  find(&calls->linkProgram, "glLinkProgram");
  find(&calls->getProgramiv, "glGetProgramiv");
  find(&calls->deleteProgram, "glDeleteProgram");
  find(&calls->useProgram, "glUseProgram");
  find(&calls->genFramebuffers, "glGenFramebuffers");
  find(&calls->bindFramebuffer, "glBindFramebuffer");
  find(&calls->framebufferRenderbuffer, "glFramebufferRenderbuffer");
  find(&calls->checkFramebufferStatus, "glCheckFramebufferStatus");
  find(&calls->deleteFramebuffers, "glDeleteFramebuffers");
  find(&calls->genRenderbuffers, "glGenRenderbuffers");
  find(&calls->bindRenderbuffer, "glBindRenderbuffer");
  find(&calls->renderbufferStorage, "glRenderbufferStorage");
  find(&calls->deleteRenderbuffers, "glDeleteRenderbuffers");
  return all;
}

bool initVelGlowBlur(VelGlowBlur* blur, int32_t width, int32_t height, const GLGlowCalls& calls) {
  *blur = VelGlowBlur{};
  const int32_t d2 = screen_buffer_dimensions2(width, height);
  const int major = majorVersion();
  // Lookups through the window system hand out entry points whether or not
  // the context has them: the version and extensions decide.
  if (d2 < 1 || major < 2 || (major < 3 && !hasExtension("GL_ARB_framebuffer_object"))) return false;
  blur->calls = calls;
  blur->screen_width = width;
  blur->screen_height = height;
  const VelAspectFactors factors = velAspectFactors(width, height);
  bool made = true;
  for (VelGlowPass pass : {VelGlowPass::kSideways, VelGlowPass::kVertical}) {
    VelGlowBlurPass& p = blur->passes[static_cast<int>(pass)];
    p.whole = link(calls, copiesShader(pass, factors));
    made = made && p.whole != 0;
    const VelGlowKernel kernel = makeVelGlowKernel(pass, d2, factors);
    // The kernel needs an inner part between the two edge strips.
    if (kernel.radius > 0 && 2 * kernel.radius < d2) {
      p.inner = link(calls, kernelShader(pass, kernel, d2));
      p.radius = kernel.radius;
      made = made && p.inner != 0;
    }
  }
  blur->composite = link(calls, kCompositeShader);
  made = made && blur->composite != 0;
  made = made && makeFramebuffer(blur, screen_buffer_dimensions1(width, height), d2);
  made = made && initVelGlowCoverage(&blur->coverage, width, height);
  if (!made) {
    freeVelGlowBlur(blur);
    return false;
  }
  blur->ready = true;
  return true;
}

void freeVelGlowBlur(VelGlowBlur* blur) {
  if (blur->calls.deleteProgram) {
    for (VelGlowBlurPass& p : blur->passes) {
      if (p.whole) blur->calls.deleteProgram(p.whole);
      if (p.inner) blur->calls.deleteProgram(p.inner);
    }
    if (blur->composite) blur->calls.deleteProgram(blur->composite);
  }
  if (blur->framebuffer) blur->calls.deleteFramebuffers(1, &blur->framebuffer);
  if (blur->colorbuffer) blur->calls.deleteRenderbuffers(1, &blur->colorbuffer);
  if (blur->coverage.lit) freeVelGlowCoverage(&blur->coverage);
  *blur = VelGlowBlur{};
}

void dropVelGlowBlur(VelGlowBlur* blur) {
  if (blur->coverage.lit) freeVelGlowCoverage(&blur->coverage);
  *blur = VelGlowBlur{};
}

bool velGlowBlurFits(const VelGlowBlur* blur, int32_t screen_width, int32_t screen_height) {
  return blur && blur->ready && blur->screen_width == screen_width && blur->screen_height == screen_height;
}

void drawVelGlowShrink(const VelGlowBlur* blur, int32_t d2) {
  drawCovered(blur->coverage, d2, d2, kWhole);
}

void drawVelGlowComposite(const VelGlowBlur* blur) {
  blur->calls.useProgram(blur->composite);
  drawCovered(blur->coverage, blur->screen_width, blur->screen_height, kWhole);
  blur->calls.useProgram(0);
}

void drawVelGlowBlurPass(const VelGlowBlur* blur, VelGlowPass pass, int32_t d2) {
  const VelGlowBlurPass& p = blur->passes[static_cast<int>(pass)];
  const float edge = p.inner ? static_cast<float>(p.radius) / static_cast<float>(d2) : 0.5f;
  blur->calls.useProgram(p.whole);
  drawCovered(blur->coverage, d2, d2, band(pass, 0, edge));
  drawCovered(blur->coverage, d2, d2, band(pass, 1 - edge, 1));
  if (p.inner) {
    blur->calls.useProgram(p.inner);
    setFilter(GL_NEAREST);
    drawCovered(blur->coverage, d2, d2, band(pass, edge, 1 - edge));
    setFilter(GL_LINEAR);  // the buffer's own filter, which the composite needs
  }
  blur->calls.useProgram(0);
}
