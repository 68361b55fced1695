#include "platform/gl/gl_entry_points.h"

#include <GL/glx.h>

namespace moonwisp {

GLEntryPoint glEntryPoint(const char* name) {
  return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

}  // namespace moonwisp
