// The command line of the zemhttp tool: what the user asked for, checked
// before any request is made, so that a mistake costs nothing on the network.
#ifndef ZEM_TOOLS_ARGUMENTS_H
#define ZEM_TOOLS_ARGUMENTS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zemtool {

// The subcommands: one per verb of the client, one task of the upload
// engine, and the status text lookup.
enum class Command { None, Get, Post, Put, Delete, Head, Options, Trace, Upload, Status };

// The subcommand's name as typed; "" for None.
const char *CommandName(Command command);
// True for the subcommands that send a request body (post, put, upload).
bool SendsBody(Command command);

enum class BodySource { None, Text, File };
enum class ProgressMode { Auto, Always, Never };

struct ToolOptions {
  Command command = Command::None;
  bool help = false;
  bool version = false;

  std::string url;               // every request subcommand
  unsigned int status_code = 0;  // status

  // -H lines split at the first colon, blanks after it dropped, in order.
  std::vector<std::pair<std::string, std::string>> headers;
  BodySource body_source = BodySource::None;
  std::string body_text;    // -d
  std::string body_file;    // --data-file; "-" is standard input
  std::string output_file;  // -o; empty: standard output
  bool include_headers = false;

  bool has_credentials = false;
  std::string user;
  std::string password;

  bool has_timeout = false;
  uint32_t timeout_ms = 0;       // --timeout: milliseconds, for upload given in seconds
  uint32_t max_time_s = 0;       // --max-time; 0: no limit on the whole transfer
  uint64_t max_filesize = 0;     // --max-filesize; meaningful when has_max_filesize
  bool has_max_filesize = false;
  bool has_retries = false;
  uint32_t retries = 1;

  std::string proxy;  // named proxy list; empty: no named proxy
  std::string proxy_bypass;
  std::string proxy_file;     // private-profile proxy settings
  std::string proxy_section;  // empty: the client's default section

  bool log = false;
  std::string log_file = "HttpLog.TXT";

  ProgressMode progress = ProgressMode::Auto;
  bool verbose = false;

  // Certificate checks relaxed one at a time; the issuing authority is
  // always checked.
  bool ignore_cert_name = false;
  bool ignore_cert_date = false;

  bool sync = false;        // upload: run on the tool's thread, not through the hidden window
  std::string report_file;  // upload: append the task report here; empty: none
};

struct ParsedArguments {
  ToolOptions options;
  // Non-empty when the command line cannot be run: what is wrong, in one
  // line, for the user.
  std::string error;
};

// Reads argv[1..argc-1]. Options may stand before or after the subcommand;
// "--" ends the options. A help or version request is never an error,
// whatever else is wrong on the line, so that "--help" always answers.
ParsedArguments ParseArguments(int argc, const char *const *argv);

}  // namespace zemtool

#endif  // ZEM_TOOLS_ARGUMENTS_H
