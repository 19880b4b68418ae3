#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "download_progress.h"
#include "dpi_scale.h"
#include "update_layout.h"
#include "update_strings.h"
#include "window_dpi.h"

namespace {

// All four numbers in one comparison, so that a failure shows them all.
void ExpectBox(const LayoutBox& box, int x, int y, int width, int height) {
  EXPECT_EQ(std::tuple(box.x, box.y, box.width, box.height), std::tuple(x, y, width, height));
}
void ExpectRect(const RECT& rect, LONG left, LONG top, LONG right, LONG bottom) {
  EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right, rect.bottom), std::tuple(left, top, right, bottom));
}

std::wstring FixedText(UINT id) {
  switch (id) {
    case IDS_UPDATE_TITLE: return L"title";
    case IDS_UPDATE_TITLE_FINISHED: return L"finished title";
    case IDS_UPDATE_PERCENT: return L"%d%%";
    case IDS_UPDATE_INSTALL: return L"install";
    default: return L"text " + std::to_wstring(id);
  }
}

const int kDpis[] = {96, 120, 144, 168, 192, 240};

// At 96 DPI the window is laid out as it always was, pixel for pixel.
TEST(UpdateLayout, At96DpiEveryPlaceIsTheOriginalOne) {
  const UpdateLayout l = LayOutUpdateWindow(96);
  EXPECT_EQ(std::tuple(l.client.cx, l.client.cy, l.header, l.line), std::tuple(450, 260, 35, 1));
  ExpectRect(l.logo, 8, 10, 24, 26);
  ExpectBox(l.title, 28, 8, 220, 40);
  ExpectRect(l.close, 420, 5, 445, 31);
  ExpectRect(l.extra, 416, 6, 450, 26);
  ExpectRect(l.install, 225, 214, 335, 248);
  ExpectRect(l.downloadingImage, 58, 70, 90, 102);
  ExpectBox(l.downloadingText, 58, 110, 150, 30);
  ExpectRect(l.track, 58, 137, 308, 147);
  ExpectBox(l.finishedText, 90, 100, 220, 40);
}

// Every element keeps its proportions: the client, the band and the boxes grow with the DPI, and
// the title's type is scaled once (by the DPI), not once more on top of it.
TEST(UpdateLayout, EveryScaleKeepsTheProportions) {
  for (const int dpi : kDpis) {
    const UpdateLayout l = LayOutUpdateWindow(dpi);
    const auto close_to = [dpi](int scaled, int length96) { return std::abs(scaled * 96 - length96 * dpi) <= 96; };
    EXPECT_TRUE(close_to(l.client.cx, 450) && close_to(l.client.cy, 260) && close_to(l.header, 35)) << dpi;
    EXPECT_TRUE(close_to(l.title.x, 28) && close_to(l.title.width, 220) && close_to(l.track.right - l.track.left, 250))
        << dpi;
    EXPECT_TRUE(close_to(l.install.right - l.install.left, 110) && close_to(l.close.bottom - l.close.top, 26)) << dpi;
    EXPECT_EQ(l.client.cx - l.close.right, ScaleLength(450, dpi) - ScaleLength(445, dpi)) << dpi;
    const UpdateScene scene = ComposeScene(l, UpdateView::kDownloading, 50, FixedText);
    // A line of the title, about one and a half of its em, ends inside the band.
    EXPECT_LE(l.title.y + 1.5f * scene.texts[0].pixels, static_cast<float>(l.header)) << dpi;
    EXPECT_FLOAT_EQ(scene.texts[0].pixels, 10.0f * dpi / 72.0f) << dpi;
  }
}

// The fill lies inside its track, is half of it at 50 percent and full exactly at 100.
TEST(UpdateLayout, FillStaysInsideItsTrack) {
  for (const int dpi : kDpis) {
    const UpdateLayout l = LayOutUpdateWindow(dpi);
    const int track = l.track.right - l.track.left, height = l.track.bottom - l.track.top;
    using Case = std::pair<int, int>;  // percent, filled width
    for (const auto& [percent, width] : {Case{0, 0}, Case{50, track / 2}, Case{100, track}, Case{-1, 0},
                                         Case{150, track}, Case{33, track * 33 / 100}}) {
      ExpectBox(ProgressFillBox(l, percent), l.track.left, l.track.top, width, height);
    }
  }
}

TEST(UpdateScene, EachStateDrawsItsTexts) {
  const UpdateLayout l = LayOutUpdateWindow(144);
  using Texts = std::vector<std::wstring>;
  const auto texts = [&](UpdateView view, int percent) {
    Texts out;
    for (const SceneText& t : ComposeScene(l, view, percent, FixedText).texts) out.push_back(t.text);
    return out;
  };
  EXPECT_EQ(texts(UpdateView::kDownloading, 50), (Texts{L"title", FixedText(IDS_UPDATE_DOWNLOADING), L"50%"}));
  // 100 percent before the checks shows 99, in another font and place.
  const UpdateScene full = ComposeScene(l, UpdateView::kDownloading, 100, FixedText);
  EXPECT_EQ(full.texts[2].text, L"99%");
  EXPECT_STREQ(full.texts[2].family, kYaHeiFamily);
  ExpectBox(full.texts[2].box, 450, 143, 225, 45);
  EXPECT_STREQ(ComposeScene(l, UpdateView::kDownloading, 7, FixedText).texts[2].family, kSongFamily);
  EXPECT_EQ(texts(UpdateView::kFinished, 100), (Texts{L"finished title", FixedText(IDS_UPDATE_FINISHED), L"install"}));
  EXPECT_EQ(texts(UpdateView::kUpToDate, 0), (Texts{L"title", FixedText(IDS_UPDATE_UP_TO_DATE)}));
  const UpdateScene finished = ComposeScene(l, UpdateView::kFinished, 100, FixedText);
  EXPECT_TRUE(finished.install && !finished.progress);
  ExpectBox(finished.texts[1].box, l.finishedText.x, l.finishedText.y, l.finishedText.width, l.finishedText.height);
  EXPECT_EQ(finished.texts[2].kind, SceneText::kOnButton);
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
