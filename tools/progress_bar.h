// The download progress line the tool draws on standard error, fed by the
// status texts the client sends its status procedure during a run: the
// announced length, one text per chunk read, and the final count.
#ifndef ZEM_TOOLS_PROGRESS_BAR_H
#define ZEM_TOOLS_PROGRESS_BAR_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace zemtool {

class ProgressBar {
 public:
  ProgressBar(std::FILE *out, int columns) : out_(out), columns_(columns) {}
  ProgressBar(const ProgressBar &) = delete;
  ProgressBar &operator=(const ProgressBar &) = delete;

  // One status text of the client. Texts that carry no download figures are
  // ignored, so the bar appears only once body bytes arrive.
  void OnStatusText(const char *text);
  // Ends the bar's line, when one was drawn, so that later output starts on
  // a line of its own.
  void Finish();

  // The line for these figures (total 0: unknown length), at most `columns`
  // characters wide.
  static std::string Render(uint64_t received, uint64_t total, int columns);

 private:
  void Draw();

  std::FILE *out_;
  int columns_;
  uint64_t total_ = 0;
  uint64_t received_ = 0;
  std::string last_;
};

}  // namespace zemtool

#endif  // ZEM_TOOLS_PROGRESS_BAR_H
