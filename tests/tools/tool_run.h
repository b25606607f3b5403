// Running the built zemhttp tool as a user runs it: a command line, standard
// input, and what it printed and exited with.
#ifndef ZEM_TESTS_TOOLS_TOOL_RUN_H
#define ZEM_TESTS_TOOLS_TOOL_RUN_H

#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace zemtest {

struct ToolRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// The build names the tool it made for every test program that runs it.
inline std::string ToolPath() { return ZEM_TOOL_PATH; }

inline std::string Quoted(const std::string &word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the tool in `folder` (a fresh one when empty), with `input` on its
// standard input. The proxy environment is dropped: every request here must
// go straight to the loopback server unless a test names a proxy.
inline ToolRun RunTool(const std::vector<std::string> &args, const std::string &folder = "",
                       const std::string &input = "") {
  TempDir io;
  std::string command = "unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy; cd " +
                        Quoted(folder.empty() ? io.path() : folder) + " && exec " + Quoted(ToolPath());
  for (const std::string &arg : args) command += " " + Quoted(arg);
  command += " <" + Quoted(io.write("in", input)) + " >" + Quoted(io.file("out")) + " 2>" + Quoted(io.file("err"));
  ToolRun run;
  run.exit_code = RunProgram({"/bin/sh", "-c", command}, "", 60000);
  run.out = read_file(io.file("out"));
  run.err = read_file(io.file("err"));
  return run;
}

}  // namespace zemtest

#endif  // ZEM_TESTS_TOOLS_TOOL_RUN_H
