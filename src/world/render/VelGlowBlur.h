#pragma once
// The glow's fast path, the same picture as the fixed-function passes:
// - the first render, the shrink and the blur drawn in a framebuffer object
//   of their own, so that the copies into the glow buffers are plain copies
//   (a window's own buffer is stored upside down, and Mesa's software driver
//   copies out of it through a drawing pass);
// - the blur drawn with fragment shaders, one pass per direction whose texel
//   weights are those of the fixed-function copies (VelGlowKernel.h), each
//   pixel of the half glow buffer filled twice instead of seventeen times;
// - the shrink, the blur and the composite drawn only over the tiles the
//   glow can light (VelGlowCoverage.h): elsewhere their squares hold black
//   from the framebuffer object's clear at the start of the frame, and the
//   view holds the frame's black, since the first render went elsewhere.
//
// Made once with the view's GL resources, for one view size, in a context of
// OpenGL 2.0 or later (GLSL 1.10, the compatibility context's built-in
// vertex inputs) with framebuffer objects (OpenGL 3.0 or
// ARB_framebuffer_object). Where that fails (an older context, a missing
// entry point, a shader the driver rejects, an incomplete framebuffer) the
// record stays unusable and the renderer keeps its fixed-function passes in
// the view's own buffer. Drawing allocates nothing and compiles nothing.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

#include "world/render/VelGlowCoverage.h"
#include "world/render/VelGlowKernel.h"

// The OpenGL 2.0 and framebuffer-object entry points the fast path uses,
// found through the window system's lookup (it knows which library serves the
// current context).
struct GLGlowCalls {
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
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
  PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
};
using GLProc = void (*)();
using GLProcResolver = GLProc (*)(const char* name);
// Looks every entry point up; false when one is missing.
bool loadGLGlowCalls(GLGlowCalls* calls, GLProcResolver resolve);

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
  bool ready;  // false: the fixed-function passes draw the glow
  int32_t screen_width, screen_height;  // the view the passes were made for
  GLGlowCalls calls;
  // Where the first render (d1 x d1) and, beside it, the shrink and the blur
  // (d2 x d2) are drawn: RGBA8, (d1 + d2) x d1.
  GLuint framebuffer;
  GLuint colorbuffer;
  VelGlowCoverage coverage;  // where the shrink, blur and composite draw, found per frame
  VelGlowBlurPass passes[2];  // sideways, vertical
  // The composite's stretch of the blurred square over the view: what the
  // fixed-function drawing does (the buffer's colour, alpha 0.2 from the
  // current colour), in a fifth less of llvmpipe's time.
  GLuint composite;
};

// Makes the programs, the framebuffer object and the coverage marks for a
// width x height view with the context current. False (and nothing left
// behind) when the context cannot run them or an allocation fails.
bool initVelGlowBlur(VelGlowBlur* blur, int32_t width, int32_t height, const GLGlowCalls& calls);
// Deletes the programs and the framebuffer object and releases the marks; the
// record is unusable afterwards.
void freeVelGlowBlur(VelGlowBlur* blur);
// For a context that is gone, with the programs and the framebuffer object:
// releases the marks alone; the record is unusable afterwards.
void dropVelGlowBlur(VelGlowBlur* blur);
// Whether the blur was made for this view size and can draw.
bool velGlowBlurFits(const VelGlowBlur* blur, int32_t screen_width, int32_t screen_height);
// The fast path's drawing, each over the rectangles of `blur->coverage` only
// (VelGlowCoverage.h), with the flat projection set and blending off:
// - the shrink: the quad of the fixed-function drawing, with the full glow
//   buffer bound and the current colour as its tint, into a d2 x d2 viewport;
void drawVelGlowShrink(const VelGlowBlur* blur, int32_t d2);
// - one blur pass over the d2 x d2 square with the half glow buffer bound,
//   writing the pass's result; leaves no program in use and the buffer's
//   filters linear, as they were made;
void drawVelGlowBlurPass(const VelGlowBlur* blur, VelGlowPass pass, int32_t d2);
// - the composite: the half glow buffer, bound, stretched over the view's
//   viewport.
void drawVelGlowComposite(const VelGlowBlur* blur);
