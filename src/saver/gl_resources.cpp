#include "saver/gl_resources.h"

#include <cstdlib>

#include "platform/core/bundle.h"
#include "platform/gl/gl_entry_points.h"
#include "platform/image/png_image.h"
#include "world/render/VelGlowBufferSize.h"

namespace {

void uploadGlowBuffer(GLuint name, int32_t side, const void* zeros) {
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  if (zeros && side > 0)
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, zeros);
}

void buildQuad(const GLuint* lists, int slot, const QuadVertex (&strip)[4]) {
  glNewList(lists[slot], GL_COMPILE);
  glBegin(GL_TRIANGLE_STRIP);
  for (const QuadVertex& v : strip) {
    glTexCoord2f(v.s, v.t);
    glVertex3f(v.x, v.y, v.z);
  }
  glEnd();
  glEndList();
}

void buildQuadDisplayList(const GLuint* lists, int slot) {
  buildQuad(lists, slot, {{0, 0, 0, 0, 0}, {0, 1, 0, 1, 0}, {1, 0, 1, 0, 0}, {1, 1, 1, 1, 0}});
}

void buildQuadDisplayList2(const GLuint* lists, int slot) { buildQuad(lists, slot, kWingStrips[0]); }

void buildQuadDisplayList3(const GLuint* lists, int slot) { buildQuad(lists, slot, kWingStrips[1]); }

GLuint (*genLists)(GLsizei) = glGenLists;
GLProcResolver entryPointLookup = moonwisp::glEntryPoint;

void makeGlowBlur(VelGlowBlur* glowblur, int32_t width, int32_t height) {
  GLGlowCalls calls{};
  if (!loadGLGlowCalls(&calls, entryPointLookup) || !initVelGlowBlur(glowblur, width, height, calls))
    *glowblur = VelGlowBlur{};
}

// Reserves and compiles the lists; returns the first name, 0 when none could
// be reserved (then the slots are left as they were).
GLuint reserveAndBuildLists(GLuint* displaylists) {
  const GLuint first = genLists(kDisplayListCount);
  if (first == 0) return 0;
  for (int i = 0; i < kDisplayListCount; ++i) displaylists[i] = first + static_cast<GLuint>(i);
  buildQuadDisplayList(displaylists, 0);
  buildQuadDisplayList2(displaylists, 1);
  buildQuadDisplayList3(displaylists, 2);
  return first;
}

void deleteTextures(GLuint* textures) {
  for (int i = 0; i < kTextureCount; ++i) {
    glDeleteTextures(1, &textures[i]);
    textures[i] = 0;
  }
}

}  // namespace

void LoadGLTextures(GLuint* textures, int32_t width, int32_t height) {
  LoadGLTexturesFromFile(textures, width, height,
                         moonwisp::Bundle::main().pathForResource("wing1", "png"));
}

void LoadGLTexturesFromFile(GLuint* textures, int32_t width, int32_t height, const std::string& wingPath) {
  const int32_t d1 = screen_buffer_dimensions1(width, height);
  const int32_t d2 = screen_buffer_dimensions2(width, height);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glGenTextures(kTextureCount, textures);

  {
    const moonwisp::RasterImage wing = moonwisp::loadPngImage(wingPath);
    const GLenum format = wing.hasAlpha ? GL_RGBA : GL_RGB;
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), wing.width, wing.height, 0, format,
                 GL_UNSIGNED_BYTE, wing.empty() ? nullptr : wing.pixels.data());
  }

  // A glow buffer larger than the implementation allows cannot be made; the
  // renderer's copies into it then fail harmlessly.
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
  void* zeros = nullptr;
  if (d1 > 0 && d1 <= maxSide) zeros = std::calloc(static_cast<size_t>(d1) * static_cast<size_t>(d1), 3);
  uploadGlowBuffer(textures[1], d1, zeros);
  uploadGlowBuffer(textures[2], d2, zeros);
  std::free(zeros);
}

void setGenListsForTesting(GLuint (*function)(GLsizei)) { genLists = function ? function : glGenLists; }

void loadDisplayLists(GLuint* displaylists) { reserveAndBuildLists(displaylists); }

void freeDisplaylists(GLuint* displaylists) {
  for (int i = 0; i < kDisplayListCount; ++i) {
    glDeleteLists(displaylists[i], 1);
    displaylists[i] = 0;
  }
}

void glDataLoad(GLuint* textures, GLuint* displaylists, bool* gldataloaded, int32_t width, int32_t height,
                VelGlowBlur* glowblur) {
  if (*gldataloaded) return;
  LoadGLTextures(textures, width, height);
  const GLuint firstList = reserveAndBuildLists(displaylists);
  *gldataloaded = textures[0] != 0 && displaylists[0] != 0;
  if (!*gldataloaded) {
    // Give back what this attempt reserved; the next frame tries again.
    deleteTextures(textures);
    if (firstList != 0) freeDisplaylists(displaylists);
    return;
  }
  if (glowblur) makeGlowBlur(glowblur, width, height);
}

void glDataDispose(GLuint* textures, GLuint* displaylists, bool* gldataloaded, VelGlowBlur* glowblur) {
  if (!*gldataloaded) return;
  deleteTextures(textures);
  freeDisplaylists(displaylists);
  if (glowblur) freeVelGlowBlur(glowblur);
  *gldataloaded = false;
}

void glDataForget(GLuint* textures, GLuint* displaylists, bool* gldataloaded, VelGlowBlur* glowblur) {
  for (int i = 0; i < kTextureCount; ++i) textures[i] = 0;
  for (int i = 0; i < kDisplayListCount; ++i) displaylists[i] = 0;
  if (glowblur) dropVelGlowBlur(glowblur);
  *gldataloaded = false;
}

void setGLEntryPointLookupForTesting(GLProcResolver lookup) {
  entryPointLookup = lookup ? lookup : moonwisp::glEntryPoint;
}

void setSaverViewGLState(int32_t width, int32_t height) {
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glShadeModel(GL_SMOOTH);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClearDepth(1.0);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
