#include "platform/core/system_log.h"

#include <cstdarg>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace moonwisp {
namespace {
LogSink& sink() {
  static LogSink s;
  return s;
}
}  // namespace

void setSystemLogSink(LogSink s) { sink() = std::move(s); }

void systemLog(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (sink()) {
    sink()(line);
    return;
  }
  syslog(LOG_USER | LOG_NOTICE, "moonwisp: %s", line);
  if (isatty(STDERR_FILENO)) std::fprintf(stderr, "moonwisp: %s\n", line);
}

}  // namespace moonwisp
