#pragma once
// --help in the user's language as far as the command-line parser allows:
// its headings, the help flag and the names of the values that options take.
// The parser's own error messages stay in English.
#include <CLI/CLI.hpp>

#include "platform/core/translation.h"

namespace moonwisp {

// Call on a new app before adding its options: the group name applies to the
// options added after it.
inline void translateHelp(CLI::App& app) {
  const std::shared_ptr<CLI::Formatter> formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
  if (formatter) {
    formatter->label("Usage", _("Usage"));
    formatter->label("OPTIONS", _("OPTIONS"));
    formatter->label("SUBCOMMAND", _("COMMAND"));
    formatter->label("Positionals", _("Arguments"));
    formatter->label("REQUIRED", _("REQUIRED"));
    formatter->label("TEXT", _("TEXT"));
  }
  app.option_defaults()->group(_("Options"));
  app.set_help_flag("-h,--help", _("print this help and end"));
}

}  // namespace moonwisp
