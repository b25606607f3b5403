// The bytes the tool moves between the user and the client: the request
// body it reads, and the standard output or -o file it writes.
#ifndef ZEM_TOOLS_BODY_IO_H
#define ZEM_TOOLS_BODY_IO_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "arguments.h"

namespace zemtool {

// The request body the options name: the -d text, the --data-file file, or
// standard input for "-". False, with the reason in *error, when the file
// cannot be read or holds more than the client's 32-bit body length.
bool ReadRequestBody(const ToolOptions &options, std::string *body, std::string *error);

// Where the results go: standard output (no path, or "-"), or the -o file,
// created (or truncated) on first use so that a run that fails before any
// answer leaves no empty file behind.
class OutputSink {
 public:
  explicit OutputSink(std::string path) : path_(std::move(path)) {}
  ~OutputSink();
  OutputSink(const OutputSink &) = delete;
  OutputSink &operator=(const OutputSink &) = delete;

  bool Write(const void *data, size_t size);
  // Flushes and closes; false, with the reason in *error, when any write
  // failed (a full disk, a closed pipe).
  bool Close(std::string *error);

 private:
  bool Open();
  bool ToStandardOutput() const;
  // Keeps the first failure's reason; errno still holds its cause.
  void RecordFailure();

  std::string path_;
  std::FILE *file_ = nullptr;
  bool opened_ = false;
  bool failed_ = false;
  std::string error_;
};

}  // namespace zemtool

#endif  // ZEM_TOOLS_BODY_IO_H
