#include "help_text.h"

namespace zemtool {

namespace {

const char kUsage[] =
    "Usage:\n"
    "  zemhttp <subcommand> URL [options]\n"
    "  zemhttp upload URL (-d TEXT | --data-file FILE) [--sync] [--report FILE] [options]\n"
    "  zemhttp status CODE\n"
    "  zemhttp [<subcommand>] --help\n"
    "  zemhttp --version\n";

const char kSubcommands[] =
    "Subcommands:\n"
    "  get URL       GET the resource (the URL's query is sent as given) and print its body\n"
    "  post URL      POST a body (-d or --data-file) to the URL's path and print the answer\n"
    "  put URL       PUT a body as the file the URL's path names\n"
    "  delete URL    DELETE the file the URL's path names\n"
    "  head URL      HEAD: print the response headers\n"
    "  options URL   OPTIONS: print the answer's body, or else its \"Allow:\" header line\n"
    "  trace URL     TRACE: print the answer's body (the request as the server saw it)\n"
    "  upload URL    run one task of the upload engine: POST the data, print the answer\n"
    "  status CODE   print the short and the long text of an HTTP status code\n";

const char kRequestOptions[] =
    "Request options (any order, before or after the subcommand):\n"
    "  -H, --header \"Name: value\"  add a request header; repeatable; a later header of the\n"
    "                              same name replaces the earlier one\n"
    "  -d, --data TEXT             request body, sent as given (post and put only)\n"
    "      --data-file FILE        request body read from FILE; \"-\" reads standard input\n"
    "                              (post and put only; at most 4294967295 bytes)\n"
    "  -o, --output FILE           write what would go to standard output into FILE\n"
    "                              (\"-\": standard output)\n"
    "  -i, --include               print the response headers, status line first, before\n"
    "                              the body\n"
    "  -u, --user USER[:PASSWORD]  credentials for a server that asks for them (Basic or\n"
    "                              Digest); credentials in the URL take precedence\n"
    "      --timeout MS            receive time-out in milliseconds (1 to 4294967295);\n"
    "                              upload takes seconds (see below)\n"
    "      --max-time SECONDS      give up when the whole transfer, connection to last body\n"
    "                              byte, takes longer (1 to 86400); exit status 1\n"
    "      --max-filesize BYTES    refuse a body larger than BYTES, whether its length is\n"
    "                              announced or found while it arrives; nothing is\n"
    "                              written; exit status 1\n"
    "      --retries N             sends allowed while the server answers 1xx (1 to 10,\n"
    "                              default 1); a failed connection is not retried\n"
    "      --proxy HOST:PORT       send through this named proxy (proxy access type 3)\n"
    "      --proxy-bypass LIST     hosts reached without the proxy, e.g. \"localhost;*.lan\"\n"
    "      --proxy-file FILE       take the proxy settings from a private-profile file\n"
    "                              (keys szProxyCfg, chProxyAccessType, szProxyNames,\n"
    "                              szProxyBypass, szUsrAgt, szProxyUser, szProxyPswd,\n"
    "                              szUserName, szPassWord); a bare name is looked for in\n"
    "                              the current folder\n"
    "      --proxy-section NAME    the section of --proxy-file to read (default PROXY)\n"
    "      --log[=FILE]            append the client's debug log to FILE (default\n"
    "                              HttpLog.TXT in the current folder): connection name,\n"
    "                              date, time, service log lines and dumps of the query,\n"
    "                              request body, response body and response headers;\n"
    "                              written after failed runs as well\n"
    "      --progress              always draw the download progress bar on standard error\n"
    "      --no-progress           never draw it (by default it is drawn when standard\n"
    "                              error is a terminal)\n"
    "  -v, --verbose               print the client's status texts on standard error as\n"
    "                              they arrive\n"
    "      --ignore-cert-name      accept a certificate made out for another host name\n"
    "      --ignore-cert-date      accept a certificate outside its validity period\n"
    "                              (nothing accepts one from an unknown authority)\n"
    "  -h, --help                  this help; after a subcommand, that subcommand's help\n"
    "      --version               print \"zemhttp <version>\"\n"
    "\n"
    "Without --proxy or --proxy-file the proxy comes from the http_proxy, https_proxy and\n"
    "no_proxy environment variables. --proxy-file is applied before --proxy, so --proxy\n"
    "wins where both are given.\n"
    "\n"
    "Upload options (upload takes -H at most 8 times, -d, --data-file, -o, -i, -u,\n"
    "--proxy, --proxy-bypass, --ignore-cert-name, --ignore-cert-date and these):\n"
    "      --sync                  run the task on the tool's own thread instead of\n"
    "                              through the hidden upload window and its event loop\n"
    "      --timeout SECONDS       the run must end within SECONDS (1 to 86400): each\n"
    "                              wait is bounded by it, a run through the window is\n"
    "                              cancelled after it, one that still goes on is left;\n"
    "                              exit status 1 (the engine ends a run through its\n"
    "                              window after 45 s in any case)\n"
    "      --report FILE           append the task report to FILE, as the engine writes\n"
    "                              ScLogs.TXT: title, date, connection parameters,\n"
    "                              status log, last response header and data dumps;\n"
    "                              written after failed runs as well\n";

const char kOutputAndExit[] =
    "Output:\n"
    "  standard output  the response body (or what the subcommand prints)\n"
    "  standard error   the status line \"HTTP <code> <short text>\", the progress bar,\n"
    "                   and errors as \"zemhttp: <the client's error text>\"; upload\n"
    "                   prints its task's status log lines (at most 80 characters\n"
    "                   each) as they are added\n"
    "\n"
    "Exit status:\n"
    "  0  the server answered with a status below 400 (status: the code is known)\n"
    "  1  the request failed: no connection, time-out, an answer that never came or broke\n"
    "     off, --max-time or --max-filesize exceeded, a file that could not be read or\n"
    "     written, an answer the upload engine counts as a failure (1xx, 203, 3xx)\n"
    "     (status: the code is not known)\n"
    "  2  usage error: the command line could not be understood; nothing was sent\n"
    "  3  the server answered with a status of 400 or above (the body is still printed)\n";

struct CommandText {
  Command command;
  const char *synopsis;
  const char *description;
};

constexpr CommandText kCommandTexts[] = {
    {Command::Get, "zemhttp get URL [options]",
     "Sends GET for the URL's path and query, as given (nothing is escaped), and prints\n"
     "the response body. Example:\n"
     "  zemhttp get http://127.0.0.1:8080/report.txt?day=3 -o report.txt\n"},
    {Command::Post, "zemhttp post URL [-d TEXT | --data-file FILE] [options]",
     "Sends POST with the body to the URL's path (a query in the URL is not sent) and\n"
     "prints the response body. Without -d or --data-file the body is empty. No\n"
     "Content-Type is sent unless -H gives one. Example:\n"
     "  zemhttp post http://127.0.0.1:8080/form -H \"Content-Type: text/plain\" -d hello\n"},
    {Command::Put, "zemhttp put URL [-d TEXT | --data-file FILE] [options]",
     "Stores the body on the server as the file the URL's path names (a trailing \"/\" of\n"
     "the path is dropped) and prints the response body. Without -d or --data-file the\n"
     "file is stored empty. Example:\n"
     "  zemhttp put http://127.0.0.1:8080/notes/today.txt --data-file today.txt\n"},
    {Command::Delete, "zemhttp delete URL [options]",
     "Removes the file the URL's path names (a DELETE without a body) and prints the\n"
     "response body. Example:\n"
     "  zemhttp delete http://127.0.0.1:8080/notes/today.txt\n"},
    {Command::Head, "zemhttp head URL [options]",
     "Sends HEAD for the URL's path and prints the response headers, status line first.\n"
     "Example:\n"
     "  zemhttp head http://127.0.0.1:8080/notes/today.txt\n"},
    {Command::Options, "zemhttp options URL [options]",
     "Sends OPTIONS for the URL's path and prints the response body, or, when the answer\n"
     "has none, its \"Allow:\" header line (the methods the server accepts there).\n"
     "Example:\n"
     "  zemhttp options http://127.0.0.1:8080/notes/\n"},
    {Command::Trace, "zemhttp trace URL [options]",
     "Sends TRACE for the URL's path and prints the response body: a server that\n"
     "supports TRACE echoes the request as it received it. Many servers refuse it (405).\n"
     "Example:\n"
     "  zemhttp trace http://127.0.0.1:8080/ -H \"X-Probe: 1\"\n"},
    {Command::Upload, "zemhttp upload URL (-d TEXT | --data-file FILE) [options]",
     "Runs one task of the upload engine: the data is POSTed to the URL's path and\n"
     "query with the engine's content type (application/x-www-form-urlencoded, which\n"
     "-H \"Content-Type: ...\" replaces), and the answer is printed. The task runs\n"
     "through the engine's hidden upload window and its event loop, or with --sync on\n"
     "the tool's own thread. Unlike the engine's defaults, certificates are checked\n"
     "fully unless --ignore-cert-name or --ignore-cert-date relaxes a check. Example:\n"
     "  zemhttp upload https://127.0.0.1:8443/inquiry --data-file record.txt --report ScLogs.TXT\n"},
    {Command::Status, "zemhttp status CODE",
     "Prints the code with its short text, then its long text, from the client's table\n"
     "of HTTP status texts; sends nothing. Exit status 0 for a known code, 1 for an\n"
     "unknown one, 2 when CODE is not a number. Example:\n"
     "  zemhttp status 404\n"},
};

}  // namespace

std::string MainHelp() {
  return std::string("zemhttp - run one HTTP request and show the answer\n\n") + kUsage + "\n" + kSubcommands + "\n" +
         kRequestOptions + "\n" + kOutputAndExit;
}

std::string CommandHelp(Command command) {
  for (const CommandText &text : kCommandTexts) {
    if (text.command != command) continue;
    std::string help = std::string("Usage: ") + text.synopsis + "\n\n" + text.description;
    if (command != Command::Status) help += std::string("\n") + kRequestOptions;
    return help + "\n" + kOutputAndExit;
  }
  return MainHelp();
}

std::string UsageHint(Command command) {
  if (command == Command::None) return "Try \"zemhttp --help\".";
  return std::string("Try \"zemhttp ") + CommandName(command) + " --help\".";
}

}  // namespace zemtool
