#pragma once
// Logging hook of the engine; it deliberately prints nothing.
void debug_print(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
