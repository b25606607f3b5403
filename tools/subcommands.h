// Running what the command line asked for, and the exit status it ends with.
#ifndef ZEM_TOOLS_SUBCOMMANDS_H
#define ZEM_TOOLS_SUBCOMMANDS_H

#include "arguments.h"

namespace zemtool {

// Exit status of the tool; "zemhttp --help" documents them.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // no answer, a broken download, a file not read or written
constexpr int kExitUsage = 2;      // the command line could not be understood
constexpr int kExitHttpError = 3;  // the server answered 400 or above

// "status CODE": the client's short and long texts for the code.
int RunStatus(const ToolOptions &options);
// Every other subcommand: one request through one client object.
int RunRequest(const ToolOptions &options);

}  // namespace zemtool

#endif  // ZEM_TOOLS_SUBCOMMANDS_H
