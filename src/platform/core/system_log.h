#pragma once
// One line to the system log (syslog), and to stderr when it is a terminal.
#include <functional>
#include <string>

namespace moonwisp {

void systemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Test seam: when set, every line goes to the sink instead of syslog/stderr.
using LogSink = std::function<void(const std::string&)>;
void setSystemLogSink(LogSink sink);

}  // namespace moonwisp
