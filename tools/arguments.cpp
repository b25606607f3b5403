#include "arguments.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace zemtool {

namespace {

struct CommandEntry {
  Command command;
  const char *name;
};

constexpr CommandEntry kCommands[] = {
    {Command::Get, "get"},   {Command::Post, "post"},       {Command::Put, "put"},     {Command::Delete, "delete"},
    {Command::Head, "head"}, {Command::Options, "options"}, {Command::Trace, "trace"}, {Command::Upload, "upload"},
    {Command::Status, "status"},
};

// The upload engine keeps ten header slots: the host line, the content type
// and eight more.
constexpr size_t kUploadHeaders = 8;

enum class OptionId {
  Help,
  Version,
  Header,
  Data,
  DataFile,
  Output,
  Include,
  User,
  Timeout,
  MaxTime,
  MaxFilesize,
  Retries,
  Proxy,
  ProxyBypass,
  ProxyFile,
  ProxySection,
  Log,
  Progress,
  NoProgress,
  Verbose,
  IgnoreCertName,
  IgnoreCertDate,
  Sync,
  Report,
};

enum class Takes { Nothing, Value, OptionalValue };

// Which subcommands take an option: every one, every request (the client's
// verbs and upload), the client's verbs alone, or upload alone.
enum class Scope { Any, Requests, Client, Upload };

struct OptionSpec {
  char short_name;  // 0: long name only
  const char *long_name;
  Takes takes;
  OptionId id;
  Scope scope;
};

// An optional value is only ever taken from "--log=FILE": taking the next
// word would swallow the URL in "zemhttp get --log URL".
constexpr OptionSpec kOptions[] = {
    {'h', "help", Takes::Nothing, OptionId::Help, Scope::Any},
    {0, "version", Takes::Nothing, OptionId::Version, Scope::Any},
    {'H', "header", Takes::Value, OptionId::Header, Scope::Requests},
    {'d', "data", Takes::Value, OptionId::Data, Scope::Requests},
    {0, "data-file", Takes::Value, OptionId::DataFile, Scope::Requests},
    {'o', "output", Takes::Value, OptionId::Output, Scope::Requests},
    {'i', "include", Takes::Nothing, OptionId::Include, Scope::Requests},
    {'u', "user", Takes::Value, OptionId::User, Scope::Requests},
    {0, "timeout", Takes::Value, OptionId::Timeout, Scope::Requests},
    {0, "max-time", Takes::Value, OptionId::MaxTime, Scope::Client},
    {0, "max-filesize", Takes::Value, OptionId::MaxFilesize, Scope::Client},
    {0, "retries", Takes::Value, OptionId::Retries, Scope::Client},
    {0, "proxy", Takes::Value, OptionId::Proxy, Scope::Requests},
    {0, "proxy-bypass", Takes::Value, OptionId::ProxyBypass, Scope::Requests},
    {0, "proxy-file", Takes::Value, OptionId::ProxyFile, Scope::Client},
    {0, "proxy-section", Takes::Value, OptionId::ProxySection, Scope::Client},
    {0, "log", Takes::OptionalValue, OptionId::Log, Scope::Client},
    {0, "progress", Takes::Nothing, OptionId::Progress, Scope::Client},
    {0, "no-progress", Takes::Nothing, OptionId::NoProgress, Scope::Client},
    {'v', "verbose", Takes::Nothing, OptionId::Verbose, Scope::Client},
    {0, "ignore-cert-name", Takes::Nothing, OptionId::IgnoreCertName, Scope::Requests},
    {0, "ignore-cert-date", Takes::Nothing, OptionId::IgnoreCertDate, Scope::Requests},
    {0, "sync", Takes::Nothing, OptionId::Sync, Scope::Upload},
    {0, "report", Takes::Value, OptionId::Report, Scope::Upload},
};

bool InScope(Scope scope, Command command) {
  switch (scope) {
    case Scope::Any:
      return true;
    case Scope::Requests:
      return command != Command::Status;
    case Scope::Client:
      return command != Command::Status && command != Command::Upload;
    case Scope::Upload:
      return command == Command::Upload;
  }
  return false;
}

const OptionSpec *FindLong(const std::string &name) {
  for (const OptionSpec &option : kOptions)
    if (name == option.long_name) return &option;
  return nullptr;
}

const OptionSpec *FindShort(char c) {
  for (const OptionSpec &option : kOptions)
    if (option.short_name != 0 && option.short_name == c) return &option;
  return nullptr;
}

// Decimal digits only, no sign, no blanks, within [low, high].
bool ParseNumber(const std::string &text, uint64_t low, uint64_t high, uint64_t *value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number < low || number > high) return false;
  *value = number;
  return true;
}

bool StartsWithNoCase(const std::string &text, const char *prefix) {
  size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

class Parser {
 public:
  ParsedArguments Run(int argc, const char *const *argv);

 private:
  void Option(const OptionSpec &option, const std::string &value);
  void Positional(const std::string &word);
  void Check();
  void Fail(const std::string &message) {
    if (result_.error.empty()) result_.error = message;
  }

  ParsedArguments result_;
  std::vector<std::string> positional_;
  // Checked against the subcommand once it is known.
  std::vector<const OptionSpec *> seen_;
  // Read once the subcommand is known: upload counts it in seconds.
  std::string timeout_text_;
};

void Parser::Option(const OptionSpec &option, const std::string &value) {
  ToolOptions &o = result_.options;
  seen_.push_back(&option);
  uint64_t number = 0;
  switch (option.id) {
    case OptionId::Help:
      o.help = true;
      break;
    case OptionId::Version:
      o.version = true;
      break;
    case OptionId::Header: {
      // A blank in the name or a line break anywhere would put a malformed
      // or an extra header line on the wire.
      size_t colon = value.find(':');
      std::string header_name = value.substr(0, colon);
      size_t start = colon == std::string::npos ? value.size() : value.find_first_not_of(" \t", colon + 1);
      std::string header_value = start == std::string::npos ? std::string() : value.substr(start);
      if (colon == std::string::npos || header_name.empty() || header_name.find_first_of(" \t") != std::string::npos ||
          header_value.empty() || value.find_first_of("\r\n") != std::string::npos)
        Fail("-H needs \"Name: value\" (a name without blanks, a value on one line), got \"" + value + "\"");
      else
        o.headers.emplace_back(header_name, header_value);
      break;
    }
    case OptionId::Data:
    case OptionId::DataFile:
      if (o.body_source != BodySource::None) Fail("give the body once: -d or --data-file, not both or twice");
      if (option.id == OptionId::Data) {
        o.body_source = BodySource::Text;
        o.body_text = value;
      } else {
        o.body_source = BodySource::File;
        o.body_file = value;
        if (value.empty()) Fail("--data-file needs a file name (\"-\" for standard input)");
      }
      break;
    case OptionId::Output:
      if (value.empty()) Fail("-o needs a file name");
      o.output_file = value;
      break;
    case OptionId::Include:
      o.include_headers = true;
      break;
    case OptionId::User: {
      size_t colon = value.find(':');
      o.has_credentials = true;
      o.user = value.substr(0, colon);
      o.password = colon == std::string::npos ? std::string() : value.substr(colon + 1);
      if (o.user.empty()) Fail("-u needs \"user:password\" with a user name");
      break;
    }
    case OptionId::Timeout:
      o.has_timeout = true;
      timeout_text_ = value;
      break;
    case OptionId::MaxTime:
      // A day is far beyond any transfer this tool is meant for; the bound
      // keeps the deadline arithmetic clear of overflow.
      if (!ParseNumber(value, 1, 86400, &number))
        Fail("--max-time takes seconds from 1 to 86400, got \"" + value + "\"");
      o.max_time_s = static_cast<uint32_t>(number);
      break;
    case OptionId::MaxFilesize:
      if (!ParseNumber(value, 0, std::numeric_limits<uint32_t>::max(), &number))
        Fail("--max-filesize takes bytes from 0 to 4294967295, got \"" + value + "\"");
      o.has_max_filesize = true;
      o.max_filesize = number;
      break;
    case OptionId::Retries:
      if (!ParseNumber(value, 1, 10, &number)) Fail("--retries takes a count from 1 to 10, got \"" + value + "\"");
      o.has_retries = true;
      o.retries = static_cast<uint32_t>(number);
      break;
    case OptionId::Proxy:
      if (value.empty()) Fail("--proxy needs host:port");
      o.proxy = value;
      break;
    case OptionId::ProxyBypass:
      o.proxy_bypass = value;
      break;
    case OptionId::ProxyFile:
      if (value.empty()) Fail("--proxy-file needs a file name");
      o.proxy_file = value;
      break;
    case OptionId::ProxySection:
      if (value.empty()) Fail("--proxy-section needs a section name");
      o.proxy_section = value;
      break;
    case OptionId::Log:
      o.log = true;
      if (!value.empty()) o.log_file = value;
      break;
    case OptionId::Progress:
      o.progress = ProgressMode::Always;
      break;
    case OptionId::NoProgress:
      o.progress = ProgressMode::Never;
      break;
    case OptionId::Verbose:
      o.verbose = true;
      break;
    case OptionId::IgnoreCertName:
      o.ignore_cert_name = true;
      break;
    case OptionId::IgnoreCertDate:
      o.ignore_cert_date = true;
      break;
    case OptionId::Sync:
      o.sync = true;
      break;
    case OptionId::Report:
      if (value.empty()) Fail("--report needs a file name");
      o.report_file = value;
      break;
  }
}

void Parser::Positional(const std::string &word) {
  ToolOptions &o = result_.options;
  if (o.command != Command::None) {
    positional_.push_back(word);
    return;
  }
  for (const CommandEntry &entry : kCommands) {
    if (word == entry.name) {
      o.command = entry.command;
      return;
    }
  }
  Fail("unknown subcommand \"" + word + "\"");
}

void Parser::Check() {
  ToolOptions &o = result_.options;
  if (o.command == Command::None) {
    Fail("no subcommand given");
    return;
  }
  const std::string name = CommandName(o.command);
  if (positional_.empty()) {
    Fail(name + (o.command == Command::Status ? " needs a status code" : " needs a URL"));
    return;
  }
  if (positional_.size() > 1) Fail("unexpected argument \"" + positional_[1] + "\"");

  for (const OptionSpec *option : seen_)
    if (!InScope(option->scope, o.command)) Fail(std::string("--") + option->long_name + " does not go with " + name);

  if (o.command == Command::Status) {
    uint64_t code = 0;
    if (!ParseNumber(positional_[0], 0, std::numeric_limits<uint32_t>::max(), &code))
      Fail("status needs a number, got \"" + positional_[0] + "\"");
    o.status_code = static_cast<unsigned int>(code);
    return;
  }

  uint64_t number = 0;
  if (o.command == Command::Upload) {
    // The seconds bound the whole run; a day keeps them clear of overflow
    // as milliseconds.
    if (o.has_timeout && !ParseNumber(timeout_text_, 1, 86400, &number))
      Fail("upload's --timeout takes seconds from 1 to 86400, got \"" + timeout_text_ + "\"");
    o.timeout_ms = static_cast<uint32_t>(number * 1000);
    if (o.body_source == BodySource::None) Fail("upload needs its data: --data-file FILE or -d TEXT");
    if (o.headers.size() > kUploadHeaders)
      Fail("upload takes at most " + std::to_string(kUploadHeaders) + " -H headers");
  } else if (o.has_timeout) {
    if (!ParseNumber(timeout_text_, 1, std::numeric_limits<uint32_t>::max(), &number))
      Fail("--timeout takes milliseconds from 1 to 4294967295, got \"" + timeout_text_ + "\"");
    o.timeout_ms = static_cast<uint32_t>(number);
  }

  o.url = positional_[0];
  // The client speaks HTTP and HTTPS only; anything else would fail later
  // with a less helpful text from the URL parser.
  if (!StartsWithNoCase(o.url, "http://") && !StartsWithNoCase(o.url, "https://"))
    Fail("the URL must start with http:// or https://, got \"" + o.url + "\"");
  if (o.body_source != BodySource::None && !SendsBody(o.command))
    Fail(name + " sends no body: -d and --data-file go with post, put and upload");
  if (!o.proxy_bypass.empty() && o.proxy.empty()) Fail("--proxy-bypass goes with --proxy");
  if (!o.proxy_section.empty() && o.proxy_file.empty()) Fail("--proxy-section goes with --proxy-file");
}

ParsedArguments Parser::Run(int argc, const char *const *argv) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i] != nullptr ? argv[i] : "";
    if (options_ended || word.size() < 2 || word[0] != '-') {
      Positional(word);
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }
    if (word[1] == '-') {
      size_t equals = word.find('=');
      std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const OptionSpec *option = FindLong(name);
      if (option == nullptr) {
        Fail("unknown option \"--" + name + "\"");
        continue;
      }
      if (equals != std::string::npos) {
        if (option->takes == Takes::Nothing) Fail("--" + name + " takes no value");
        Option(*option, word.substr(equals + 1));
      } else if (option->takes == Takes::Value) {
        if (i + 1 >= argc) {
          Fail("--" + name + " needs a value");
          continue;
        }
        Option(*option, argv[++i]);
      } else {
        Option(*option, "");
      }
      continue;
    }
    // Short options: "-i", "-H value" or "-Hvalue"; flags may be grouped ("-iv").
    for (size_t k = 1; k < word.size(); ++k) {
      const OptionSpec *option = FindShort(word[k]);
      if (option == nullptr) {
        Fail(std::string("unknown option \"-") + word[k] + "\"");
        break;
      }
      if (option->takes != Takes::Value) {
        Option(*option, "");
        continue;
      }
      if (k + 1 < word.size()) {
        Option(*option, word.substr(k + 1));
      } else if (i + 1 < argc) {
        Option(*option, argv[++i]);
      } else {
        Fail(std::string("-") + word[k] + " needs a value");
      }
      break;
    }
  }
  const bool answers_anyway = result_.options.help || result_.options.version;
  if (!answers_anyway) Check();
  if (answers_anyway) result_.error.clear();
  return result_;
}

}  // namespace

const char *CommandName(Command command) {
  for (const CommandEntry &entry : kCommands)
    if (entry.command == command) return entry.name;
  return "";
}

bool SendsBody(Command command) {
  return command == Command::Post || command == Command::Put || command == Command::Upload;
}

ParsedArguments ParseArguments(int argc, const char *const *argv) { return Parser().Run(argc, argv); }

}  // namespace zemtool
