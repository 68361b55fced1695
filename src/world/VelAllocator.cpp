#include "world/VelAllocator.h"

#include <cstdlib>

namespace {
VelAllocateFunction g_allocate = nullptr;
VelReleaseFunction g_release = nullptr;
}  // namespace

void* velAllocate(std::size_t size) { return g_allocate ? g_allocate(size) : std::malloc(size); }
void velRelease(void* pointer) {
  if (g_release) {
    g_release(pointer);
  } else {
    std::free(pointer);
  }
}
void setVelAllocator(VelAllocateFunction allocate, VelReleaseFunction release) {
  g_allocate = allocate;
  g_release = release;
}
