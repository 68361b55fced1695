#include "platform/gl/gl_driver.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace moonwisp {
namespace {

int pinDriver(struct dl_phdr_info* info, size_t, void*) {
  const char* path = info->dlpi_name;
  if (path && std::strstr(path, "/dri/") && std::strstr(path, "_dri.so")) {
    // RTLD_NOLOAD: only a module that is already there; RTLD_NODELETE keeps it.
    // The extra reference is never dropped on purpose.
    (void)dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return 0;
}

}  // namespace

void keepGLDriversLoaded() { dl_iterate_phdr(pinDriver, nullptr); }

}  // namespace moonwisp
