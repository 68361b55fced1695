#pragma once
// OpenGL entry points beyond what libGL promises to export (OpenGL 1.2), found
// by name. The pointers dispatch to whichever context is current on the
// calling thread, a GLX or an EGL one alike (libglvnd routes both through the
// same dispatch table), so one lookup serves every surface of the process.
namespace moonwisp {

using GLEntryPoint = void (*)();

// The entry point, or null when the library knows no such name. Needs no
// current context; whether the current context supports the call is for the
// caller to check (its GL_VERSION or extensions).
GLEntryPoint glEntryPoint(const char* name);

}  // namespace moonwisp
