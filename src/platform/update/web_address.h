#pragma once
// Which addresses may be handed to the desktop's browser.
#include <string>

namespace moonwisp::update {

// True for an absolute http:// or https:// address with a host and without
// control characters or blanks; everything else (javascript:, file:, relative
// paths, ...) is refused.
bool isWebAddress(const std::string& text);

}  // namespace moonwisp::update
