#include "cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace zarnik::cli {

TProgressBar::TProgressBar(std::ostream& out, uint64_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled) {}

bool TProgressBar::WantedFor(uint64_t total) { return total > kMinimumRecords && isatty(STDERR_FILENO) == 1; }

void TProgressBar::Update(uint64_t done) {
  if (!enabled_) return;
  done = std::min(done, total_);
  int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
  if (percent != shownPercent_) Draw(done, percent);
}

void TProgressBar::Draw(uint64_t done, int percent) {
  int filled = percent * kWidth / 100;
  std::string text = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "] ";
  std::string number = std::to_string(percent);
  text += std::string(3 - std::min<size_t>(3, number.size()), ' ') + number + "% " + std::to_string(done) + "/" +
          std::to_string(total_);
  out_ << text << std::flush;
  shownPercent_ = percent;
  drawn_ = true;
}

void TProgressBar::Finish() {
  if (!enabled_) return;
  if (drawn_) {
    Draw(total_, 100);
    out_ << '\n' << std::flush;
  }
  enabled_ = false;
}

}  // namespace zarnik::cli
