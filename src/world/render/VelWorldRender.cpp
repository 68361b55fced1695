#include "world/render/VelWorldRender.h"

#include <GL/glu.h>

#include <cmath>

#include "math/Vector3Float.h"
#include "world/render/VelGlowBlur.h"
#include "world/render/VelGlowBufferSize.h"
#include "world/render/VelGlowKernel.h"
#include "world/render/VelWingGeometry.h"

namespace {

using AspectFactors = VelAspectFactors;

AspectFactors aspectFactors(const VelWorld* world) {
  return velAspectFactors(world->screen_width, world->screen_height);
}

// Heading about the vertical axis in degrees: 360 minus the angle for
// headings to the left.
float headingDegrees(Vector3Float facing) {
  const Vector3Float h = Vector3FloatConstruct(facing.x, 0.0f, facing.z);
  float cosine = Vector3FloatDot(h, Vector3FloatNeg(Vector3FloatZ()));
  // A unit vector's component can round just past 1; acos would give NaN.
  if (cosine > 1.0f) cosine = 1.0f;
  if (cosine < -1.0f) cosine = -1.0f;
  const float c = static_cast<float>(std::acos(static_cast<double>(cosine)));
  if (facing.x > 0) return static_cast<float>(c / 0.017453292);
  return static_cast<float>(360.0 + c / (-0.017453292));
}

void drawWingedButterfly(const VelButterfly& b, float sx, float sy, float d, float s,
                         const GLuint* textures, const GLuint* displaylists) {
  glPushMatrix();
  glTranslated(sx, sy, -d);
  glScalef(s, s, s);
  glRotatef(headingDegrees(b.facing), 0, 1, 0);
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

float flap_func(float flap_angle) {
  return static_cast<float>((std::sin(static_cast<double>(flap_angle) * 0.104719752) + 1.0) * 0.5);
}

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
  const float w = std::fmod(static_cast<float>(static_cast<double>(flap) * 130.0 - 60.0), 360.0f);
  glPushMatrix();
  double g;
  if (flap < 0) {
    g = 0.0;
  } else if (flap > 1) {
    g = 1.0;
  } else {
    const double u = 2.0 * static_cast<double>(flap) - 1.0;
    g = u / (u * u + 1.0) + 0.5;
  }
  glTranslatef(0, 0, static_cast<float>(-0.3 * g));
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
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
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
    const float sx = static_cast<float>((2.0 * static_cast<double>(b.position.x) - 1.0) * f.ax);
    const float sy = static_cast<float>((2.0 * static_cast<double>(b.position.y) - 1.0) * f.ay);
    const float d = static_cast<float>(3.0 * static_cast<double>(b.position.z) + 2.0);
    const float r = world->color_from.x + (world->color_to.x - world->color_from.x) * b.color_mix;
    const float g = world->color_from.y + (world->color_to.y - world->color_from.y) * b.color_mix;
    const float bl = world->color_from.z + (world->color_to.z - world->color_from.z) * b.color_mix;
    const float a = (2.0f * b.fade - b.fade * b.fade) * alpha;
    glColor4f(r, g, bl, a);
    if (winged) {
      drawWingedButterfly(b, sx, sy, d, s, textures, displaylists);
    } else {
      drawSprite(sx, sy, d, s, f);
    }
  }
  if (winged) unbindWingArrays();

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

bool velWorldDrawsGlow(const VelWorld* world) {
  return world->glow != 0 && screen_buffer_dimensions2(world->screen_width, world->screen_height) >= 1;
}

void setVelWorldGlowViewport(const VelWorld* world) {
  const int32_t d1 = screen_buffer_dimensions1(world->screen_width, world->screen_height);
  glViewport(0, 0, d1, d1);
}

namespace {

void stepDone(VelGlowStepHook afterStep, VelGlowStep step, void* context) {
  if (afterStep) afterStep(step, context);
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

// The same sums, one shader pass per direction, each pixel written once.
void blurWithShaders(const VelGlowBlur* blur, int32_t d2, VelGlowStepHook afterStep, void* context) {
  glDisable(GL_BLEND);
  drawVelGlowBlurPass(blur, VelGlowPass::kSideways, d2);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kSideways, context);
  drawVelGlowBlurPass(blur, VelGlowPass::kVertical, d2);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d2, d2, 0);
  stepDone(afterStep, VelGlowStep::kVertical, context);
  glEnable(GL_BLEND);
  // The state the copies leave: the composite takes its alpha from this colour.
  glColor4f(1, 1, 1, 0.2f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

}  // namespace

void drawVelWorldGlowPasses(const VelWorld* world, const GLuint* textures, const VelGlowBlur* blur,
                            VelGlowStepHook afterStep, void* context) {
  const AspectFactors f = aspectFactors(world);
  const int32_t d1 = screen_buffer_dimensions1(world->screen_width, world->screen_height);
  const int32_t d2 = screen_buffer_dimensions2(world->screen_width, world->screen_height);

  // Capture the first render.
  glBindTexture(GL_TEXTURE_2D, textures[1]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, d1, d1, 0);
  stepDone(afterStep, VelGlowStep::kCapture, context);

  // Flat projection, y pointing down.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 1, 0, 0.1, 100);

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

  const bool shaders = velGlowBlurFits(blur, world->screen_width, world->screen_height);
  if (shaders) {
    blurWithShaders(blur, d2, afterStep, context);
  } else {
    blurWithCopies(f, d2, afterStep, context);
  }

  // Stretch the blurred square over the whole view, replacing the frame.
  glViewport(0, 0, world->screen_width, world->screen_height);
  glDisable(GL_BLEND);
  if (shaders) {
    drawVelGlowComposite(blur);
  } else {
    glBegin(GL_QUADS);
    DrawQuad2(1, 1, 0, 0);
    glEnd();
  }
  glEnable(GL_BLEND);
  stepDone(afterStep, VelGlowStep::kComposite, context);

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void drawVelWorld(const VelWorld* world, const Scheduler* clock, const GLuint* textures,
                  const GLuint* displaylists, float alpha, const VelGlowBlur* blur) {
  if (!velWorldDrawsGlow(world)) {
    renderVelWorld(world, clock, textures, displaylists, alpha);
    return;
  }
  setVelWorldGlowViewport(world);
  renderVelWorld(world, clock, textures, displaylists, alpha);
  drawVelWorldGlowPasses(world, textures, blur);
  renderVelWorld(world, clock, textures, displaylists, alpha);
}
