#pragma once
// The glow's blur drawn with fragment shaders: one pass per direction whose
// texel weights are those of the fixed-function copies (VelGlowKernel.h), so
// the picture stays the same while each pixel of the half glow buffer is
// filled twice instead of seventeen times; and the composite, the same
// stretch as the fixed-function quad's.
//
// Made once with the view's GL resources, for one view size, in a context of
// OpenGL 2.0 or later (GLSL 1.10, the compatibility context's built-in
// vertex inputs). Where that fails (an older context, a missing entry point,
// a shader the driver rejects) the record stays unusable and the renderer
// keeps its fixed-function passes. Drawing allocates nothing and compiles
// nothing.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

#include "world/render/VelGlowKernel.h"

// The OpenGL 2.0 entry points the blur uses, found through the window
// system's lookup (it knows which library serves the current context).
struct GLShaderCalls {
  PFNGLCREATESHADERPROC createShader;
  PFNGLSHADERSOURCEPROC shaderSource;
  PFNGLCOMPILESHADERPROC compileShader;
  PFNGLGETSHADERIVPROC getShaderiv;
  PFNGLDELETESHADERPROC deleteShader;
  PFNGLCREATEPROGRAMPROC createProgram;
  PFNGLATTACHSHADERPROC attachShader;
  PFNGLLINKPROGRAMPROC linkProgram;
  PFNGLGETPROGRAMIVPROC getProgramiv;
  PFNGLDELETEPROGRAMPROC deleteProgram;
  PFNGLUSEPROGRAMPROC useProgram;
};
using GLProc = void (*)();
using GLProcResolver = GLProc (*)(const char* name);
// Looks every entry point up; false when one is missing.
bool loadGLShaderCalls(GLShaderCalls* calls, GLProcResolver resolve);

// One direction: `whole` reads the nine copies' samples exactly as the
// fixed-function passes place them, edge clamping included, and draws the
// strips within `radius` texels of the two edges (or the whole square);
// `inner` reads the kernel's texels and draws the rest (0: none).
struct VelGlowBlurPass {
  GLuint whole;
  GLuint inner;
  int32_t radius;
};

struct VelGlowBlur {
  bool ready;  // false: the fixed-function passes draw the blur
  int32_t screen_width, screen_height;  // the view the passes were made for
  GLShaderCalls calls;
  VelGlowBlurPass passes[2];  // sideways, vertical
  // The composite's stretch of the blurred square over the view: what the
  // fixed-function drawing does (the buffer's colour, alpha 0.2 from the
  // current colour), in a fifth less of llvmpipe's time.
  GLuint composite;
};

// Makes the programs for a width x height view with the context current.
// False (and nothing left behind) when the context cannot run them.
bool initVelGlowBlur(VelGlowBlur* blur, int32_t width, int32_t height, const GLShaderCalls& calls);
// Deletes the programs; the record is unusable afterwards.
void freeVelGlowBlur(VelGlowBlur* blur);
// Whether the blur was made for this view size and can draw.
bool velGlowBlurFits(const VelGlowBlur* blur, int32_t screen_width, int32_t screen_height);
// The composite with the flat projection and the view's viewport set and
// blending off: the half glow buffer, bound, stretched over the view.
void drawVelGlowComposite(const VelGlowBlur* blur);
// One blur pass over the d2 x d2 square with the half glow buffer bound and
// the glow passes' flat projection set; writes the pass's result over the
// square (blending must be off). Leaves no program in use and the buffer's
// filters linear, as they were made.
void drawVelGlowBlurPass(const VelGlowBlur* blur, VelGlowPass pass, int32_t d2);
