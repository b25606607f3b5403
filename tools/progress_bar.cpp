#include "progress_bar.h"

#include <algorithm>

namespace zemtool {

namespace {

std::string Bytes(uint64_t n) {
  char text[32];
  if (n < 1024) {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(n));
  } else {
    static const char *const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(n) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
      value /= 1024.0;
      ++unit;
    }
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

}  // namespace

std::string ProgressBar::Render(uint64_t received, uint64_t total, int columns) {
  if (total == 0) return Bytes(received) + " received";
  // A body longer than announced is possible (a wrong Content-Length); the
  // bar stops at full rather than overflowing.
  uint64_t shown = std::min(received, total);
  int percent = static_cast<int>(shown * 100 / total);
  char figures[64];
  std::snprintf(figures, sizeof figures, " %3d%%  %s of %s", percent, Bytes(received).c_str(), Bytes(total).c_str());
  // Room for the widest figures (" 100%  1023.9 MiB of 1023.9 MiB"), so the
  // bar keeps its width while the figures change length.
  int width = std::clamp(columns - 34, 10, 50);
  int filled = static_cast<int>(shown * static_cast<uint64_t>(width) / total);
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') +
         "]" + figures;
}

void ProgressBar::OnStatusText(const char *text) {
  if (text == nullptr) return;
  long long a = 0;
  long long b = 0;
  if (std::sscanf(text, "Response length %lld bytes", &a) == 1 && a > 0) {
    total_ = static_cast<uint64_t>(a);
  } else if (std::sscanf(text, "Downloaded %lld of %lld", &a, &b) == 2 && a > 0) {
    received_ += static_cast<uint64_t>(a);
    Draw();
  } else if (std::sscanf(text, "Response downloaded %lld bytes", &a) == 1 && a > 0 && !last_.empty()) {
    received_ = static_cast<uint64_t>(a);
    Draw();
  }
}

void ProgressBar::Draw() {
  std::string line = Render(received_, total_, columns_);
  if (line == last_) return;
  // Blanks cover what is left of a longer previous line.
  size_t pad = last_.size() > line.size() ? last_.size() - line.size() : 0;
  std::fprintf(out_, "\r%s%s", line.c_str(), std::string(pad, ' ').c_str());
  std::fflush(out_);
  last_ = line;
}

void ProgressBar::Finish() {
  if (last_.empty()) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  last_.clear();
}

}  // namespace zemtool
