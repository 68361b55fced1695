#include "world/render/VelWorldRender.h"

#include <GL/glu.h>

#include <cmath>

#include "math/Vector3Float.h"
#include "world/render/VelButterflyPlacement.h"
#include "world/render/VelGlowBlur.h"
#include "world/render/VelGlowBufferSize.h"
#include "world/render/VelGlowKernel.h"
#include "world/render/VelWingGeometry.h"

namespace {

using AspectFactors = VelAspectFactors;

// Both matrices saved and reset to the identity, the projection selected for
// the caller's own.
void pushIdentityMatrices() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
}

// Both matrices back as saved, the modelview selected.
void popMatrices() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

AspectFactors aspectFactors(const VelWorld* world) {
  return velAspectFactors(world->screen_width, world->screen_height);
}

void drawWingedButterfly(const VelButterfly& b, float sx, float sy, float d, float s,
                         const GLuint* textures, const GLuint* displaylists) {
  glPushMatrix();
  glTranslated(sx, sy, -d);
  glScalef(s, s, s);
  glRotatef(velHeadingDegrees(b.facing), 0, 1, 0);
  drawButterfly(textures, displaylists, flap_func(b.flap_angle));
  glPopMatrix();
}

// The wing image as a flat square facing the viewer; the horizontal half
// extent uses ay and the vertical one ax.
void drawSprite(float sx, float sy, float d, float s, AspectFactors f) {
  glBegin(GL_TRIANGLE_STRIP);
  glTexCoord2f(0, 0);
  glVertex3f(sx - s * f.ay, sy - s * f.ax, -d);
  glTexCoord2f(0, 1);
  glVertex3f(sx - s * f.ay, sy + s * f.ax, -d);
  glTexCoord2f(1, 0);
  glVertex3f(sx + s * f.ay, sy - s * f.ax, -d);
  glTexCoord2f(1, 1);
  glVertex3f(sx + s * f.ay, sy + s * f.ax, -d);
  glEnd();
}

// The wings are drawn from client-side arrays holding the vertices that the
// wing lists hold. Replaying a list per wing costs Mesa's software driver far
// more: it turns every replay into a draw whose rasterizer state (some 33 KB)
// is copied afresh into the frame's command memory, which at 220 butterflies
// made the cheapest picture the most expensive one.
void bindWingArrays() {
  constexpr GLsizei stride = sizeof(QuadVertex);
  glTexCoordPointer(2, GL_FLOAT, stride, &kWingStrips[0][0].s);
  glVertexPointer(3, GL_FLOAT, stride, &kWingStrips[0][0].x);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
}

// Back to the default array state, so that the render leaves none behind.
void unbindWingArrays() {
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(4, GL_FLOAT, 0, nullptr);
  glTexCoordPointer(4, GL_FLOAT, 0, nullptr);
}

}  // namespace


void DrawQuad(float tw, float th, float tl, float tb) {
  glTexCoord2f(tl, tb);
  glVertex3f(0, 1, -1);
  glTexCoord2f(tl, tb + th);
  glVertex3f(0, 0, -1);
  glTexCoord2f(tl + tw, tb + th);
  glVertex3f(1, 0, -1);
  glTexCoord2f(tl + tw, tb);
  glVertex3f(1, 1, -1);
}

void DrawQuad2(float w, float h, float l, float b) {
  glTexCoord2f(0, 0);
  glVertex3f(l, b + h, -1);
  glTexCoord2f(0, 1);
  glVertex3f(l, b, -1);
  glTexCoord2f(1, 1);
  glVertex3f(l + w, b, -1);
  glTexCoord2f(1, 0);
  glVertex3f(l + w, b + h, -1);
}

void drawButterfly(const GLuint* /*textures*/, const GLuint* /*displaylists*/, float flap) {
  const float w = velWingAngle(flap);
  glPushMatrix();
  glTranslatef(0, 0, velWingShift(flap));
  glRotatef(40.0f, 1, 0, 0);
  glPushMatrix();
  glRotatef(w, 0, 1, 0);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glPopMatrix();
  glPushMatrix();
  glRotatef(-w, 0, 1, 0);
  glDrawArrays(GL_TRIANGLE_STRIP, 4, 4);
  glPopMatrix();
  glPopMatrix();
}

void renderVelWorld(const VelWorld* world, const Scheduler* /*clock*/, const GLuint* textures,
                    const GLuint* displaylists, float alpha) {
  glColor4f(1, 1, 1, 0.9f);
  const AspectFactors f = aspectFactors(world);
  pushIdentityMatrices();
  gluPerspective(35.0, static_cast<float>(world->screen_width) / static_cast<float>(world->screen_height),
                 0.4, 12.0);
  // The butterflies' transforms go on the modelview stack, which is deep
  // enough for them; the projection stack may hold only two entries.
  glMatrixMode(GL_MODELVIEW);
  glBindTexture(GL_TEXTURE_2D, textures[0]);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_BLEND);

  const VelButterflyCollection& flock = world->butterfly_collection;
  const float s = world->butterfly_size;
  const bool winged = displaylists[0] != 0;
  if (winged) bindWingArrays();
  for (int32_t i = 0; i < flock.num_butterflies; ++i) {
    const VelButterfly& b = flock.butterflies[i];
    if (!b.active) continue;
    const VelButterflyPlace p = velButterflyPlace(b, f);
    const float r = world->color_from.x + (world->color_to.x - world->color_from.x) * b.color_mix;
    const float g = world->color_from.y + (world->color_to.y - world->color_from.y) * b.color_mix;
    const float bl = world->color_from.z + (world->color_to.z - world->color_from.z) * b.color_mix;
    const float a = (2.0f * b.fade - b.fade * b.fade) * alpha;
    glColor4f(r, g, bl, a);
    if (winged) {
      drawWingedButterfly(b, p.sx, p.sy, p.d, s, textures, displaylists);
    } else {
      drawSprite(p.sx, p.sy, p.d, s, f);
    }
  }
  if (winged) unbindWingArrays();
  popMatrices();
}

bool velWorldDrawsGlow(const VelWorld* world) {
  return world->glow != 0 && screen_buffer_dimensions2(world->screen_width, world->screen_height) >= 1;
}

VelGlowFrame beginVelWorldGlow(const VelWorld* world, const GLuint* displaylists, VelGlowBlur* blur) {
  VelGlowFrame frame{};
  frame.offscreen = velGlowBlurFits(blur, world->screen_width, world->screen_height);
  if (frame.offscreen) {
    findVelGlowCoverage(&blur->coverage, world, displaylists[0] != 0);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &frame.view_draw_framebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &frame.view_read_framebuffer);
    blur->calls.bindFramebuffer(GL_FRAMEBUFFER, blur->framebuffer);
    // Black, as the view's buffer is at the start of a frame.
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
  }
  const int32_t d1 = screen_buffer_dimensions1(world->screen_width, world->screen_height);
  glViewport(0, 0, d1, d1);
  return frame;
}

namespace {

void stepDone(VelGlowStepHook afterStep, VelGlowStep step, void* context) {
  if (afterStep) afterStep(step, context);
}

void captureFirstRender(const GLuint* textures, int32_t d1, VelGlowStepHook afterStep, void* context) {
  glBindTexture(GL_TEXTURE_2D, textures[1]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d1, d1, 0);
  stepDone(afterStep, VelGlowStep::kCapture, context);
}

// Flat projection, y pointing down.
void pushFlatProjection() {
  pushIdentityMatrices();
  glOrtho(0, 1, 1, 0, 0.1, 100);
}

// The blur as the sum of shifted copies, blended one by one into the square.
void blurWithCopies(AspectFactors f, int32_t d2, VelGlowStepHook afterStep, void* context) {
  // Sideways blur: nine copies at weight 0.2, the steps scaled by ay so that
  // on screen the blur reaches as far as the vertical one.
  glColor4f(1, 1, 1, 0.2f);
  glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
  glBegin(GL_QUADS);
  DrawQuad(1, 1, 0, 0);
  glEnd();
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glBegin(GL_QUADS);
  for (int i = 1; i <= 4; ++i) {
    DrawQuad(1, 1, velGlowTapOffset(i, f.ay), 0);
    DrawQuad(1, 1, velGlowTapOffset(-i, f.ay), 0);
  }
  glEnd();
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kSideways, context);

  // Vertical blur added over the sideways one.
  glColor4f(1, 1, 1, 0.2f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glBegin(GL_QUADS);
  for (int i = 1; i <= 4; ++i) {
    DrawQuad(1, 1, 0, velGlowTapOffset(i, f.ax));
    DrawQuad(1, 1, 0, velGlowTapOffset(-i, f.ax));
  }
  glEnd();
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kVertical, context);
}

// The drawing rules' passes in the view's own buffer, where the first render
// went: the fallback.
void drawFixedFunctionGlow(const VelWorld* world, const GLuint* textures, VelGlowStepHook afterStep,
                           void* context) {
  const AspectFactors f = aspectFactors(world);
  const int32_t d1 = screen_buffer_dimensions1(world->screen_width, world->screen_height);
  const int32_t d2 = screen_buffer_dimensions2(world->screen_width, world->screen_height);

  captureFirstRender(textures, d1, afterStep, context);
  pushFlatProjection();

  // Shrink to half size, tinted by the current colour (the last butterfly's).
  glViewport(0, 0, d2, d2);
  glDisable(GL_BLEND);
  glBegin(GL_QUADS);
  DrawQuad(1, 1, 0, 0);
  glEnd();
  glEnable(GL_BLEND);
  glBindTexture(GL_TEXTURE_2D, textures[2]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kShrink, context);

  blurWithCopies(f, d2, afterStep, context);

  // Stretch the blurred square over the whole view, replacing the frame.
  glViewport(0, 0, world->screen_width, world->screen_height);
  glDisable(GL_BLEND);
  glBegin(GL_QUADS);
  DrawQuad2(1, 1, 0, 0);
  glEnd();
  glEnable(GL_BLEND);
  stepDone(afterStep, VelGlowStep::kComposite, context);
  popMatrices();
}

// The same steps with the fast path: the capture, shrink and blur in the
// framebuffer object (the shrunk square beside the captured one, where only
// the frame's clear has been), the blur by shaders, and the shrink, blur and
// composite drawn only over the coverage's rectangles.
void drawFastGlow(const VelWorld* world, const GLuint* textures, VelGlowBlur* blur, VelGlowFrame frame,
                  VelGlowStepHook afterStep, void* context) {
  const int32_t d1 = screen_buffer_dimensions1(world->screen_width, world->screen_height);
  const int32_t d2 = screen_buffer_dimensions2(world->screen_width, world->screen_height);

  captureFirstRender(textures, d1, afterStep, context);
  pushFlatProjection();

  glViewport(d1, 0, d2, d2);
  glDisable(GL_BLEND);
  drawVelGlowShrink(blur, d2);
  glBindTexture(GL_TEXTURE_2D, textures[2]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, d1, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kShrink, context);

  drawVelGlowBlurPass(blur, VelGlowPass::kSideways, d2);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, d1, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kSideways, context);
  drawVelGlowBlurPass(blur, VelGlowPass::kVertical, d2);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, d1, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kVertical, context);

  // The view holds the frame's black: only where the glow can be lit is
  // there anything to draw.
  blur->calls.bindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(frame.view_draw_framebuffer));
  blur->calls.bindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(frame.view_read_framebuffer));
  glViewport(0, 0, world->screen_width, world->screen_height);
  drawVelGlowComposite(blur);
  glEnable(GL_BLEND);
  // The state the fixed-function copies leave.
  glColor4f(1, 1, 1, 0.2f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  stepDone(afterStep, VelGlowStep::kComposite, context);
  popMatrices();
}

}  // namespace

void drawVelWorldGlowPasses(const VelWorld* world, const GLuint* textures, VelGlowBlur* blur, VelGlowFrame frame,
                            VelGlowStepHook afterStep, void* context) {
  if (frame.offscreen) {
    drawFastGlow(world, textures, blur, frame, afterStep, context);
  } else {
    drawFixedFunctionGlow(world, textures, afterStep, context);
  }
}

void drawVelWorld(const VelWorld* world, const Scheduler* clock, const GLuint* textures,
                  const GLuint* displaylists, float alpha, VelGlowBlur* blur) {
  if (!velWorldDrawsGlow(world)) {
    renderVelWorld(world, clock, textures, displaylists, alpha);
    return;
  }
  const VelGlowFrame frame = beginVelWorldGlow(world, displaylists, blur);
  renderVelWorld(world, clock, textures, displaylists, alpha);
  drawVelWorldGlowPasses(world, textures, blur, frame);
  renderVelWorld(world, clock, textures, displaylists, alpha);
}
