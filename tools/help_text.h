// What "zemhttp --help" and "zemhttp <subcommand> --help" print.
#ifndef ZEM_TOOLS_HELP_TEXT_H
#define ZEM_TOOLS_HELP_TEXT_H

#include <string>

#include "arguments.h"

namespace zemtool {

// The whole tool: subcommands, options, output and exit status.
std::string MainHelp();
// One subcommand: what it sends, what it prints, the options it takes.
// Command::None gives MainHelp().
std::string CommandHelp(Command command);
// The line printed after a usage error.
std::string UsageHint(Command command);

}  // namespace zemtool

#endif  // ZEM_TOOLS_HELP_TEXT_H
