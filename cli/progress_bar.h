// TProgressBar: the progress bar that long loads and dumps draw on standard
// error when it is a terminal: one line redrawn in place as the percentage moves,
//   [##########--------------------]  33% 3300/10000
// and ended with a line break when the work is done.
#pragma once

#include <cstdint>
#include <ostream>

namespace zarnik::cli {

class TProgressBar {
 public:
  // Loads and dumps of more records than this show a bar.
  static constexpr uint64_t kMinimumRecords = 5000;
  static constexpr int kWidth = 30;

  // A bar that draws on out when enabled, for total steps.
  TProgressBar(std::ostream& out, uint64_t total, bool enabled);
  ~TProgressBar() { Finish(); }
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  // Whether work of total records shows a bar: more than kMinimumRecords and
  // standard error a terminal.
  static bool WantedFor(uint64_t total);

  void Update(uint64_t done);
  // Ends the line of a drawn bar; later calls do nothing.
  void Finish();

 private:
  std::ostream& out_;
  uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  int shownPercent_ = -1;

  void Draw(uint64_t done, int percent);
};

}  // namespace zarnik::cli
