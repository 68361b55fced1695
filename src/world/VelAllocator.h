#pragma once
// The world's allocator: malloc and free, replaceable so that tests can make
// any single allocation fail.
#include <cstddef>

using VelAllocateFunction = void* (*)(std::size_t size);
using VelReleaseFunction = void (*)(void* pointer);

void* velAllocate(std::size_t size);
void velRelease(void* pointer);
// nullptr restores malloc/free.
void setVelAllocator(VelAllocateFunction allocate, VelReleaseFunction release);
