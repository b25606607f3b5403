// zemhttp: one HTTP request from the command line, through the client object
// or as one task of the upload engine.
#include <cstdio>

#include "arguments.h"
#include "help_text.h"
#include "subcommands.h"

// The project's version, set by the build for the tool's target.
#ifndef ZEMHTTP_VERSION
#error "ZEMHTTP_VERSION is not defined: the build sets it from the project version"
#endif

int main(int argc, char **argv) {
  const zemtool::ParsedArguments parsed = zemtool::ParseArguments(argc, argv);
  const zemtool::ToolOptions &options = parsed.options;
  if (options.version && !options.help) {
    std::fputs("zemhttp " ZEMHTTP_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? zemtool::kExitOk : zemtool::kExitFailed;
  }
  if (options.help) {
    std::fputs(zemtool::CommandHelp(options.command).c_str(), stdout);
    return std::fflush(stdout) == 0 ? zemtool::kExitOk : zemtool::kExitFailed;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "zemhttp: %s\n%s\n", parsed.error.c_str(), zemtool::UsageHint(options.command).c_str());
    return zemtool::kExitUsage;
  }
  if (options.command == zemtool::Command::Status) return zemtool::RunStatus(options);
  if (options.command == zemtool::Command::Upload) return zemtool::RunUpload(options);
  return zemtool::RunRequest(options);
}
