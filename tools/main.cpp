// zemhttp: one HTTP request from the command line through the client object.
#include <cstdio>

#include "arguments.h"
#include "help_text.h"
#include "subcommands.h"

int main(int argc, char **argv) {
  const zemtool::ParsedArguments parsed = zemtool::ParseArguments(argc, argv);
  const zemtool::ToolOptions &options = parsed.options;
  if (options.help) {
    std::fputs(zemtool::CommandHelp(options.command).c_str(), stdout);
    return std::fflush(stdout) == 0 ? zemtool::kExitOk : zemtool::kExitFailed;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "zemhttp: %s\n%s\n", parsed.error.c_str(), zemtool::UsageHint(options.command).c_str());
    return zemtool::kExitUsage;
  }
  if (options.command == zemtool::Command::Status) return zemtool::RunStatus(options);
  return zemtool::RunRequest(options);
}
