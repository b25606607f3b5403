// Running what the command line asked for, and the exit status it ends with.
#ifndef ZEM_TOOLS_SUBCOMMANDS_H
#define ZEM_TOOLS_SUBCOMMANDS_H

#include <string>

#include "arguments.h"

namespace zemtool {

// Exit status of the tool; "zemhttp --help" documents them.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // no answer, a broken download, a file not read or written
constexpr int kExitUsage = 2;      // the command line could not be understood
constexpr int kExitHttpError = 3;  // the server answered 400 or above

// Prints "zemhttp: <message>" on standard error; kExitFailed.
int Fail(const std::string &message);
// "HTTP <code> <short text>", the status line every request prints.
std::string StatusLine(unsigned int code);
// The request flags that relax the certificate checks the options name:
// the host name, the dates, or both. Nothing relaxes the issuing authority.
unsigned long RelaxedCertificateFlags(const ToolOptions &options);

// "status CODE": the client's short and long texts for the code.
int RunStatus(const ToolOptions &options);
// The client's verbs: one request through one client object.
int RunRequest(const ToolOptions &options);
// "upload URL": one task of the upload engine (upload_run.cpp).
int RunUpload(const ToolOptions &options);

}  // namespace zemtool

#endif  // ZEM_TOOLS_SUBCOMMANDS_H
