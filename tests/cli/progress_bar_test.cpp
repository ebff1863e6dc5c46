#include "cli/progress_bar.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarnik::cli {
namespace {

TEST(ProgressBar, RedrawsOnlyWhenThePercentageMoves) {
  std::ostringstream out;
  {
    TProgressBar bar(out, 200, true);
    bar.Update(1);
    bar.Update(2);  // still 1 %
    bar.Update(100);
  }
  EXPECT_EQ(out.str(),
            "\r[------------------------------]   0% 1/200"
            "\r[------------------------------]   1% 2/200"
            "\r[###############---------------]  50% 100/200"
            "\r[##############################] 100% 200/200\n");
}

TEST(ProgressBar, DrawsNothingWhenOff) {
  std::ostringstream out;
  TProgressBar bar(out, 10, false);
  bar.Update(5);
  bar.Finish();
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(TProgressBar::WantedFor(TProgressBar::kMinimumRecords));
}

}  // namespace
}  // namespace zarnik::cli
