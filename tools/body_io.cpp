#include "body_io.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zemtool {

namespace {

// The client holds a body length in 32 bits.
constexpr size_t kMaxBody = std::numeric_limits<uint32_t>::max();

bool ReadStream(std::FILE *in, const std::string &name, std::string *body, std::string *error) {
  char chunk[65536];
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, in);
    if (n > kMaxBody - body->size()) {
      *error = name + " holds more than 4294967295 bytes, the largest body a request can carry";
      return false;
    }
    body->append(chunk, n);
    if (n < sizeof chunk) break;
  }
  if (std::ferror(in)) {
    *error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool ReadRequestBody(const ToolOptions &options, std::string *body, std::string *error) {
  body->clear();
  switch (options.body_source) {
    case BodySource::None:
      return true;
    case BodySource::Text:
      *body = options.body_text;
      return true;
    case BodySource::File:
      break;
  }
  if (options.body_file == "-") return ReadStream(stdin, "standard input", body, error);
  std::FILE *in = std::fopen(options.body_file.c_str(), "rb");
  if (in == nullptr) {
    *error = "cannot open " + options.body_file + ": " + std::strerror(errno);
    return false;
  }
  bool ok = ReadStream(in, options.body_file, body, error);
  std::fclose(in);
  return ok;
}

bool OutputSink::ToStandardOutput() const { return path_.empty() || path_ == "-"; }

void OutputSink::RecordFailure() {
  if (failed_) return;
  failed_ = true;
  error_ =
      "cannot write " + (ToStandardOutput() ? std::string("standard output") : path_) + ": " + std::strerror(errno);
}

OutputSink::~OutputSink() {
  if (file_ != nullptr && file_ != stdout) std::fclose(file_);
}

bool OutputSink::Open() {
  if (opened_) return file_ != nullptr;
  opened_ = true;
  file_ = ToStandardOutput() ? stdout : std::fopen(path_.c_str(), "wb");
  if (file_ == nullptr) RecordFailure();
  return file_ != nullptr;
}

bool OutputSink::Write(const void *data, size_t size) {
  if (!Open()) return false;
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) RecordFailure();
  return !failed_;
}

bool OutputSink::Close(std::string *error) {
  if (file_ != nullptr) {
    bool flushed = std::fflush(file_) == 0;
    if (file_ != stdout && std::fclose(file_) != 0) flushed = false;
    file_ = nullptr;
    if (!flushed) RecordFailure();
  }
  if (failed_) *error = error_;
  return !failed_;
}

}  // namespace zemtool
