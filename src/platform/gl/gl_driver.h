#pragma once
// Mesa loads its driver (and LLVM with it) when the first context is made and
// unloads it when the last display closes. Loading it again later is slow and
// has crashed in LLVM's re-initialisation, and memory the unloaded driver
// still owned shows up as leaks in LeakSanitizer. So once a driver is loaded
// we keep it loaded until the process ends.
namespace moonwisp {

// Marks every loaded OpenGL driver module (the DRI drivers) as never to be
// unloaded. Cheap; safe to call after every context creation.
void keepGLDriversLoaded();

}  // namespace moonwisp
