#pragma once
// The view's OpenGL objects: the wing texture, the two glow buffers and the
// three textured quads (unit quad, left wing, right wing) as display lists.
// The view owns the name arrays and the loaded flag; these functions fill and
// empty them in the view's context, which must be current.
#include <GL/gl.h>

#include <cstdint>
#include <string>

#include "world/render/VelGlowBlur.h"
#include "world/render/VelGlowBufferSize.h"
#include "world/render/VelWingGeometry.h"

constexpr int kTextureCount = 11;      // names reserved; slots 0..2 are used
constexpr int kDisplayListCount = 3;

// Reserves the 11 texture names and fills slot 0 with the wing image from the
// bundle (an empty texture when the image is missing or broken) and slots 1
// and 2 with black glow buffers sized for a width x height view. A view whose
// smaller side is below 2 pixels gets no glow buffer storage.
void LoadGLTextures(GLuint* textures, int32_t width, int32_t height);
// As LoadGLTextures, with the wing image read from `wingPath`.
void LoadGLTexturesFromFile(GLuint* textures, int32_t width, int32_t height, const std::string& wingPath);

// Reserves three consecutive list names and compiles the unit quad and the
// two wings. When no names can be reserved the slots keep their values and
// nothing is compiled.
void loadDisplayLists(GLuint* displaylists);
// Deletes the three lists and sets each slot to 0.
void freeDisplaylists(GLuint* displaylists);
// Test seam: replaces glGenLists (null restores it), so that a test can make
// the reservation of list names fail.
void setGenListsForTesting(GLuint (*function)(GLsizei));

// The OpenGL state a view starts its animation with: 2D textures and alpha
// blending on, smooth shading, black clear colour, a viewport of the whole
// width x height view, identity projection and model-view (left selected).
void setSaverViewGLState(int32_t width, int32_t height);

// Loads the textures and lists unless they are loaded already; sets
// gldataloaded when texture slot 0 and list slot 0 hold names. A load that
// does not succeed releases what it reserved, so that retrying at every frame
// leaks nothing. With `glowblur` given, a successful load also makes the
// glow's blur shaders for the view when the context can run them (this is
// where the glow's drawing is chosen, once); without it, or where they cannot
// be made, the glow keeps its fixed-function passes.
void glDataLoad(GLuint* textures, GLuint* displaylists, bool* gldataloaded, int32_t width, int32_t height,
                VelGlowBlur* glowblur = nullptr);
// Deletes every texture, list and blur shader and zeroes their slots, if
// loaded.
void glDataDispose(GLuint* textures, GLuint* displaylists, bool* gldataloaded, VelGlowBlur* glowblur = nullptr);
// For a context that is gone (its window destroyed, its display or compositor
// lost), with every name it held: zeroes the slots and releases what the
// blur holds in memory.
void glDataForget(GLuint* textures, GLuint* displaylists, bool* gldataloaded, VelGlowBlur* glowblur = nullptr);
// Test seam: replaces the lookup of OpenGL entry points (null restores it),
// so that a test can make the blur shaders' entry points go missing.
void setGLEntryPointLookupForTesting(GLProcResolver lookup);
