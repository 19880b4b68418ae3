#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "download_progress.h"
#include "update_layout.h"
#include "window_dpi.h"

namespace {

// All four numbers in one comparison, so that a failure shows them all.
void ExpectBox(const LayoutBox& box, int x, int y, int width, int height) {
  EXPECT_EQ(std::tuple(box.x, box.y, box.width, box.height), std::tuple(x, y, width, height));
}
void ExpectRect(const RECT& rect, LONG left, LONG top, LONG right, LONG bottom) {
  EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right, rect.bottom), std::tuple(left, top, right, bottom));
}

TEST(UpdateLayout, ButtonsAtScaleOneAndTwo) {
  ExpectRect(CloseButtonRect(450, 1, 1), 420, 5, 445, 31);
  ExpectRect(CloseButtonRect(900, 2, 2), 840, 10, 890, 62);
  ExpectRect(ExtraButtonRect(450, 1, 1), 416, 6, 450, 26);
  ExpectRect(ExtraButtonRect(900, 2, 2), 832, 12, 900, 52);
  // One frame of the 330 x 34 strip, placed from the bottom right.
  ExpectRect(InstallButtonRect(450, 260, 1, 1, 330, 34), 225, 214, 335, 248);
  ExpectRect(InstallButtonRect(900, 520, 2, 2, 330, 34), 450, 428, 560, 462);
  ExpectRect(InstallButtonRect(450, 260, 1, 1, 100, 34), 225, 214, 258, 248);
  // Without an image the button has no area and can't be hit.
  ExpectRect(InstallButtonRect(450, 260, 1, 1, 0, 0), 225, 214, 225, 214);
}

TEST(UpdateLayout, TitleScalesBoxAndFont) {
  ExpectBox(TitleBox(1, 1), 28, 8, 220, 40);
  EXPECT_FLOAT_EQ(TitleFontPoints(1), 10.0f);
  ExpectBox(TitleBox(2, 2), 56, 16, 440, 80);
  EXPECT_FLOAT_EQ(TitleFontPoints(2), 20.0f);
  EXPECT_EQ(kHeaderHeight, 35);
}

TEST(UpdateLayout, TextsAndTrack) {
  ExpectBox(DownloadingTextBox(1, 1), 58, 110, 150, 30);
  ExpectBox(FinishedTextBox(2, 3), 180, 300, 440, 120);
  const POINT track = TrackOrigin(2, 2);
  EXPECT_EQ(std::tuple(track.x, track.y), std::tuple(116, 274));
}

TEST(UpdateLayout, FillBelowHundredStartsAt56AndGrowsByTwoAndAHalf) {
  ExpectBox(ProgressFillBox(0, 1, 1), 56, 137, 0, 10);
  ExpectBox(ProgressFillBox(50, 1, 1), 56, 137, 125, 10);
  ExpectBox(ProgressFillBox(33, 1, 1), 56, 137, 82, 10);  // 82.5 truncated
  ExpectBox(ProgressFillBox(99, 2, 2), 112, 274, 495, 20);
  ExpectBox(ProgressFillBox(33, 3, 1), 168, 137, 247, 10);  // 247.5 truncated
}

TEST(UpdateLayout, FillAtHundredStartsAt28And297Wide) {
  ExpectBox(ProgressFillBox(100, 1, 1), 28, 137, 297, 10);
  ExpectBox(ProgressFillBox(100, 2, 2), 56, 274, 594, 20);
}

TEST(UpdateLayout, PercentLabelShows99AtHundredInAnotherFontAndPlace) {
  const PercentLabel full = PercentLabelFor(100, 1, 1);
  EXPECT_EQ(full.text, L"99%");
  EXPECT_STREQ(full.family, L"微软雅黑");
  ExpectBox(full.box, 300, 95, 150, 30);

  const PercentLabel half = PercentLabelFor(50, 2, 2);
  EXPECT_EQ(half.text, L"50%");
  EXPECT_STREQ(half.family, L"宋体");
  ExpectBox(half.box, 580, 230, 300, 60);

  EXPECT_EQ(PercentLabelFor(0, 1, 1).text, L"0%");
  EXPECT_EQ(PercentLabelFor(99, 1, 1).text, L"99%");
}

TEST(UpdateLayout, ScaleFromDpiRoundsToNearestAndNeverBelowOne) {
  const std::pair<int, int> scales[] = {{96, 1}, {120, 1}, {144, 2}, {192, 2}, {240, 3}, {288, 3}, {48, 1}, {0, 1}};
  for (const auto& [dpi, scale] : scales) EXPECT_EQ(ScaleFromDpi(dpi), scale) << dpi << " dpi";
}

TEST(DownloadMaths, PercentIsTruncatedIn64Bits) {
  using Case = std::tuple<DWORD, DWORD, int>;  // received, total, percent
  // In the last two, received × 100 would overflow 32 bits.
  for (const auto& [received, total, percent] :
       {Case{0, 1000, 0}, Case{8192, 100000, 8}, Case{99999, 100000, 99}, Case{100000, 100000, 100},
        Case{0xFFFFFFFFu, 0xFFFFFFFFu, 100}, Case{0x80000000u, 0xFFFFFFFFu, 50}}) {
    EXPECT_EQ(DownloadPercent(received, total), percent) << received << " of " << total;
  }
}

TEST(DownloadMaths, HeaderNumbersParseLikeSignedDecimal) {
  using Case = std::pair<const wchar_t*, long long>;
  // The last two: installers of 2 GiB and more, whose announced length is counted in 64 bits.
  for (const auto& [text, number] :
       {Case{L"200", 200}, Case{L"  404", 404}, Case{L"+12abc", 12}, Case{L"-5", -5}, Case{L"abc", 0}, Case{L"", 0},
        Case{L"2147483648", 2147483648LL}, Case{L"4294967396", 4294967396LL}}) {
    EXPECT_EQ(ParseHeaderNumber(text), number) << testing::PrintToString(text);
  }
}

// The callback takes 32-bit figures; larger counts are scaled down alike, so the bar stays true.
TEST(DownloadMaths, ProgressOfLargeTransfersKeepsItsPercentage) {
  struct Case {
    ULONGLONG received, total;
    int percent;
  };
  for (const Case& c :
       {Case{8192, 100000, 8}, Case{0x7FFFFFFFull, 0x80000000ull, 99}, Case{0x80000000ull, 0x80000000ull, 100},
        Case{3000000000ull, 3000000000ull, 100}, Case{2500000000ull, 10000000000ull, 25},
        Case{(1ull << 40) - 1, 1ull << 40, 99}, Case{1ull << 40, 1ull << 40, 100}, Case{0, ~0ull, 0}}) {
    DWORD received = 0, total = 0;
    ScaleProgress(c.received, c.total, &received, &total);
    EXPECT_EQ(DownloadPercent(received, total), c.percent) << c.received << " of " << c.total;
    if (c.total <= 0xFFFFFFFFull) {
      EXPECT_EQ(ULONGLONG{total}, c.total);  // small counts pass unchanged
    }
  }
}

// Centred in the work area; along an axis where the window is larger, it starts at the area's start.
TEST(WindowPlacement, CentreInKeepsTheTopLeftCornerInside) {
  struct Case {
    RECT area;
    SIZE window;
    RECT placed;
  };
  for (const Case& c : {Case{{0, 0, 1920, 1040}, {450, 260}, {735, 390, 1185, 650}},
                        Case{{1920, 0, 3840, 1080}, {900, 520}, {2430, 280, 3330, 800}},  // a monitor to the right
                        Case{{-1280, -200, 0, 824}, {450, 260}, {-865, 182, -415, 442}},  // left of and above it
                        Case{{0, 0, 1001, 601}, {450, 260}, {275, 170, 725, 430}},    // the odd pixel right and below
                        Case{{100, 50, 1100, 650}, {450, 700}, {375, 50, 825, 750}},  // taller than the area
                        Case{{0, 0, 800, 600}, {1125, 650}, {0, 0, 1125, 650}}}) {    // larger both ways
    SCOPED_TRACE(testing::Message() << "window " << c.window.cx << " x " << c.window.cy << " in area from "
                                    << c.area.left << ", " << c.area.top);
    ExpectRect(CentreIn(c.area, c.window), c.placed.left, c.placed.top, c.placed.right, c.placed.bottom);
  }
}

}  // namespace
