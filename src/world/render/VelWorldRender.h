#pragma once
// Drawing of the butterfly world with OpenGL 1.x: each active butterfly as two
// beating textured wings (or a flat sprite when there are no display lists),
// and with glow on, a blurred copy of the flock under the sharp one.
//
// Expects the view's context current with GL_TEXTURE_2D and GL_BLEND enabled,
// the default texture environment, no depth test and the modelview matrix
// selected. Leaves blending on with (GL_SRC_ALPHA, GL_ONE), the modelview
// matrix selected, both matrix stacks as found, textures[0] bound and the
// colour of the last butterfly drawn current; with the glow passes the
// viewport covers the whole view.
#include <GL/gl.h>

#include "timing/Scheduler.h"
#include "world/render/VelButterflyPlacement.h"
#include "world/render/VelGlowBlur.h"
#include "world/VelButterflySystem.h"

// Draws the world; with `glow` set (and a view of at least 2 x 2 pixels) over
// its own glow. The clock is not read. `alpha` scales every butterfly's alpha.
// The glow is drawn by `blur`'s fast path when it was made for this view's
// size, otherwise (null included) by the fixed-function passes; both give the
// same picture within a level or two. The fast path needs the view's colour
// buffer cleared to black for this frame, as the frame driver leaves it, and
// writes `blur`'s coverage marks.
void drawVelWorld(const VelWorld* world, const Scheduler* clock, const GLuint* textures,
                  const GLuint* displaylists, float alpha, VelGlowBlur* blur = nullptr);
// Draws every active butterfly once with a perspective camera.
void renderVelWorld(const VelWorld* world, const Scheduler* clock, const GLuint* textures,
                    const GLuint* displaylists, float alpha);
// The two wings of one butterfly in the current coordinate frame, drawn from
// the wing arrays (kWingStrips) that renderVelWorld enables around its loop.
void drawButterfly(const GLuint* textures, const GLuint* displaylists, float flap);
// Four textured vertices covering the unit square at z = -1, showing the
// texture rectangle (tl, tb) .. (tl + tw, tb + th). Inside glBegin(GL_QUADS).
void DrawQuad(float tw, float th, float tl, float tb);
// Four textured vertices covering (l, b) .. (l + w, b + h) at z = -1, showing
// the whole texture. Inside glBegin(GL_QUADS).
void DrawQuad2(float w, float h, float l, float b);

// Whether drawVelWorld runs the glow passes for this world: glow on and the
// view's smaller side at least 2 pixels.
bool velWorldDrawsGlow(const VelWorld* world);
// The steps of the glow passes, each with its copy into a glow buffer.
enum class VelGlowStep { kCapture, kShrink, kSideways, kVertical, kComposite };
using VelGlowStepHook = void (*)(VelGlowStep step, void* context);
// Where the first render of a glowing world went: the fast path's
// framebuffer object (and which framebuffer the view draws into), or the
// view's own buffer.
struct VelGlowFrame {
  bool offscreen;
  GLint view_draw_framebuffer, view_read_framebuffer;
};
// What drawVelWorld does before the first render of a glowing world: with
// `blur`'s fast path, finds the tiles the glow can light (VelGlowCoverage.h),
// binds its framebuffer object and clears it to black; sets the viewport to
// the lower-left glow square.
VelGlowFrame beginVelWorldGlow(const VelWorld* world, const GLuint* displaylists, VelGlowBlur* blur);
// The glow passes alone (capture of the first render, shrink, blur,
// composite), as drawVelWorld runs them between its two renders, with the
// `frame` that beginVelWorldGlow gave for the first render. Exposed so that
// benchmarks can time them apart (`afterStep`, when given, runs after each
// step). Ends with the view's framebuffer bound.
void drawVelWorldGlowPasses(const VelWorld* world, const GLuint* textures, VelGlowBlur* blur, VelGlowFrame frame,
                            VelGlowStepHook afterStep = nullptr, void* context = nullptr);
