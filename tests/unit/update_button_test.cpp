#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "png_button.h"
#include "update_images.h"

namespace {

// A stand-in parent: what the button asks of it and tells it, recorded.
const HWND kParent = reinterpret_cast<HWND>(0x1234);
bool g_parent_alive = true;
struct Call {
  UINT message;  // WM_COMMAND, WM_PNGBUTTON_HOVER, or WM_PAINT for an invalidation
  WPARAM wparam;
  RECT rect;
  BOOL erase;
};
std::vector<Call> g_calls;

BOOL WINAPI FakeIsWindow(HWND window) {
  return window == kParent && g_parent_alive;
}
BOOL WINAPI FakeInvalidate(HWND window, const RECT* rect, BOOL erase) {
  EXPECT_EQ(window, kParent);
  g_calls.push_back({WM_PAINT, 0, *rect, erase});
  return TRUE;
}
LRESULT WINAPI FakeSend(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  EXPECT_EQ(window, kParent);
  EXPECT_EQ(lparam, 0);
  g_calls.push_back({message, wparam, {}, FALSE});
  return 0;
}
BOOL WINAPI FakePost(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return static_cast<BOOL>(FakeSend(window, message, wparam, lparam));
}

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetPngButtonParentCalls({FakeIsWindow, FakeInvalidate, FakeSend, FakePost});
    g_parent_alive = true;
    g_calls.clear();
    const RECT rect = {10, 20, 40, 50};
    button_.Attach(kParent, &rect, 7);
    button_.SetFrames(0, 2, 1, -1);
  }
  void TearDown() override { SetPngButtonParentCalls(previous_); }

  static int Count(UINT message) {
    return static_cast<int>(
        std::count_if(g_calls.begin(), g_calls.end(), [&](const Call& c) { return c.message == message; }));
  }
  // Every invalidation so far covered the button's rectangle without erasing.
  void ExpectInvalidations(int expected) {
    EXPECT_EQ(Count(WM_PAINT), expected);
    for (const Call& call : g_calls) {
      if (call.message != WM_PAINT) continue;
      EXPECT_TRUE(EqualRect(&call.rect, &button_.m_rect));
      EXPECT_FALSE(call.erase);
    }
  }

  static inline GdiplusSession gdiplus_;  // for the whole program
  PngButtonParentCalls previous_ = {};
  CPngButton button_;
  const POINT inside_ = {20, 30}, outside_ = {100, 90};
};

TEST_F(ButtonTest, StartsWithTheDocumentedDefaults) {
  const CPngButton fresh;
  EXPECT_EQ(
      std::tuple(fresh.m_nFrames, fresh.m_bOwnImage, fresh.m_bVisible, fresh.m_nState, fresh.m_pImage, fresh.m_hParent),
      std::tuple(3, 1, 1, 0, nullptr, nullptr));
}

TEST_F(ButtonTest, PressAndReleaseInsideSendsOneCommand) {
  EXPECT_TRUE(button_.OnLButtonDown(0, &inside_));
  EXPECT_EQ(button_.m_nState, PNGBTN_PRESSED);
  EXPECT_TRUE(button_.OnLButtonDown(0, &inside_));  // a second press changes nothing
  EXPECT_TRUE(button_.OnLButtonUp(0, &inside_, TRUE));
  EXPECT_EQ(button_.m_nState, 0);
  ASSERT_EQ(Count(WM_COMMAND), 1);
  EXPECT_EQ(std::tuple(g_calls.back().message, g_calls.back().wparam), std::tuple(UINT{WM_COMMAND}, WPARAM{7}));
  ExpectInvalidations(2);  // pressed, released
}

TEST_F(ButtonTest, ReleaseWithoutNotifySendsNothing) {
  button_.OnLButtonDown(0, &inside_);
  EXPECT_TRUE(button_.OnLButtonUp(0, &inside_, FALSE));
  EXPECT_EQ(Count(WM_COMMAND), 0);
}

TEST_F(ButtonTest, ReleaseInsideWithoutPressCountsAsHitButSendsNothing) {
  EXPECT_TRUE(button_.OnLButtonUp(0, &inside_, TRUE));
  EXPECT_EQ(Count(WM_COMMAND), 0);
  ExpectInvalidations(0);
  EXPECT_FALSE(button_.OnLButtonUp(0, &outside_, TRUE));
}

TEST_F(ButtonTest, PressThenMoveOutLosesHoverFirstAndPressSecond) {
  button_.OnMouseMove(0, &inside_);
  button_.OnLButtonDown(0, &inside_);
  EXPECT_EQ(button_.m_nState, PNGBTN_PRESSED | PNGBTN_HOVER);
  EXPECT_FALSE(button_.OnMouseMove(0, &outside_));
  EXPECT_EQ(button_.m_nState, PNGBTN_PRESSED);
  EXPECT_EQ(ChoosePngButtonFrame(button_.m_nState, 0, 2, 1, 0), 2);  // still drawn pressed
  EXPECT_FALSE(button_.OnMouseMove(0, &outside_));
  EXPECT_EQ(button_.m_nState, 0);
  EXPECT_FALSE(button_.OnMouseMove(0, &outside_));  // nothing left to change
  ExpectInvalidations(4);
  // Released outside: no command.
  EXPECT_FALSE(button_.OnLButtonUp(0, &outside_, TRUE));
  EXPECT_EQ(Count(WM_COMMAND), 0);
}

TEST_F(ButtonTest, EnteringTwicePostsOneHover) {
  EXPECT_TRUE(button_.OnMouseMove(0, &inside_));
  const POINT elsewhere_inside = {39, 49};
  EXPECT_TRUE(button_.OnMouseMove(0, &elsewhere_inside));
  EXPECT_EQ(Count(WM_PNGBUTTON_HOVER), 1);
  EXPECT_EQ(g_calls.back().wparam, 7u);
  ExpectInvalidations(1);
  // Leave and enter again: a new hover.
  button_.OnMouseMove(0, &outside_);
  button_.OnMouseMove(0, &inside_);
  EXPECT_EQ(Count(WM_PNGBUTTON_HOVER), 2);
}

TEST_F(ButtonTest, RightAndBottomEdgesAreOutside) {
  const POINT right_edge = {40, 30}, bottom_edge = {20, 50}, top_left = {10, 20}, last_inside = {39, 49};
  EXPECT_FALSE(button_.OnLButtonDown(0, &right_edge));
  EXPECT_FALSE(button_.OnLButtonDown(0, &bottom_edge));
  EXPECT_FALSE(button_.OnMouseMove(0, &right_edge));
  EXPECT_EQ(button_.m_nState, 0);
  EXPECT_TRUE(button_.OnLButtonDown(0, &top_left));
  button_.OnMouseLeave();
  EXPECT_TRUE(button_.OnLButtonDown(0, &last_inside));
}

TEST_F(ButtonTest, MouseLeaveClearsEverythingUnlessDisabled) {
  button_.OnMouseMove(0, &inside_);
  button_.OnLButtonDown(0, &inside_);
  button_.OnMouseLeave();
  EXPECT_EQ(button_.m_nState, 0);
  button_.m_nState = PNGBTN_DISABLED | PNGBTN_HOVER;
  button_.OnMouseLeave();
  EXPECT_EQ(button_.m_nState, PNGBTN_DISABLED | PNGBTN_HOVER);
  EXPECT_FALSE(button_.OnLButtonDown(0, &inside_));
  EXPECT_FALSE(button_.OnMouseMove(0, &inside_));
}

TEST_F(ButtonTest, HiddenButtonIgnoresThePointer) {
  button_.m_bVisible = 0;
  EXPECT_FALSE(button_.OnLButtonDown(0, &inside_));
  EXPECT_FALSE(button_.OnLButtonUp(0, &inside_, TRUE));
  EXPECT_FALSE(button_.OnMouseMove(0, &inside_));
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(ButtonTest, NoCommandOnceTheParentIsGone) {
  button_.OnLButtonDown(0, &inside_);
  g_parent_alive = false;
  EXPECT_TRUE(button_.OnLButtonUp(0, &inside_, TRUE));
  ExpectInvalidations(1);  // only while the parent was there
  EXPECT_EQ(Count(WM_COMMAND), 0);
}

TEST_F(ButtonTest, SetFramesTakesNormalForMinusOne) {
  const auto frames = [this] {  // normal, pressed, hover, disabled
    return std::tuple(button_.m_nFrameNormal, button_.m_nFramePressed, button_.m_nFrameHover, button_.m_nFrameDisabled);
  };
  button_.SetFrames(0, 2, 1, -1);
  EXPECT_EQ(frames(), std::tuple(0, 2, 1, 0));
  button_.SetFrames(1, -1, -1, 2);
  EXPECT_EQ(frames(), std::tuple(1, 1, 1, 2));
}

TEST(ButtonFrames, PriorityIsDisabledPressedHoverNormal) {
  EXPECT_EQ(ChoosePngButtonFrame(0, 10, 11, 12, 13), 10);
  EXPECT_EQ(ChoosePngButtonFrame(PNGBTN_HOVER, 10, 11, 12, 13), 12);
  EXPECT_EQ(ChoosePngButtonFrame(PNGBTN_PRESSED | PNGBTN_HOVER, 10, 11, 12, 13), 11);
  EXPECT_EQ(ChoosePngButtonFrame(PNGBTN_DISABLED | PNGBTN_PRESSED, 10, 11, 12, 13), 13);
}

TEST(ButtonFrames, HundredPixelsInThreeFrames) {
  EXPECT_EQ(PngButtonFrameX(0, 100, 3), 0);
  EXPECT_EQ(PngButtonFrameX(1, 100, 3), 33);
  EXPECT_EQ(PngButtonFrameX(2, 100, 3), 66);  // product first: 200 / 3, not 2 × 33
  EXPECT_EQ(PngButtonFrameX(2, 100, 0), 0);
}

constexpr Gdiplus::ARGB kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// A strip in thirds, red, green and blue, the last taking the remainder: three frames as the
// drawing should see them, or one frame's caps and middle.
std::unique_ptr<Gdiplus::Bitmap> Strip(int width, int height) {
  const Gdiplus::ARGB colours[] = {kRed, kGreen, kBlue};
  auto strip = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) strip->SetPixel(x, y, Gdiplus::Color(colours[std::min(x / (width / 3), 2)]));
  }
  return strip;
}

class ButtonDrawTest : public ButtonTest {
 protected:
  std::unique_ptr<Gdiplus::Bitmap> DrawToCanvas() {
    auto canvas = std::make_unique<Gdiplus::Bitmap>(200, 100, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(canvas.get());
    graphics.Clear(Gdiplus::Color(kWhite));
    drawn_ = button_.Draw(&graphics);
    return canvas;
  }
  static Gdiplus::ARGB At(Gdiplus::Bitmap* bitmap, int x, int y) {
    Gdiplus::Color c;
    bitmap->GetPixel(x, y, &c);
    return c.GetValue();
  }
  BOOL drawn_ = FALSE;
};

TEST_F(ButtonDrawTest, HundredPixelStripGivesA33PixelButtonAndFrame2At66) {
  auto strip = Strip(100, 10);
  ASSERT_TRUE(button_.SetImage(strip.get(), 3, FALSE));
  EXPECT_EQ(button_.m_rect.right - button_.m_rect.left, 33);
  EXPECT_EQ(button_.m_rect.bottom - button_.m_rect.top, 10);
  EXPECT_EQ(button_.m_bOwnImage, 0);

  auto normal = DrawToCanvas();
  EXPECT_TRUE(drawn_);
  EXPECT_EQ(At(normal.get(), 10, 20), kRed);
  EXPECT_EQ(At(normal.get(), 42, 29), kRed);    // last column of the button
  EXPECT_EQ(At(normal.get(), 43, 20), kWhite);  // nothing right of it

  const POINT in_strip = {20, 25};
  button_.OnMouseMove(0, &in_strip);
  EXPECT_EQ(At(DrawToCanvas().get(), 20, 25), kGreen);
  button_.OnLButtonDown(0, &in_strip);
  auto pressed = DrawToCanvas();
  // Frame 2 starts at source x 66 (columns 66..98 are blue; 99 is the remainder).
  EXPECT_EQ(At(pressed.get(), 10, 20), kBlue);
  EXPECT_EQ(At(pressed.get(), 42, 20), kBlue);
}

TEST_F(ButtonDrawTest, ArtOfAnotherScaleFillsTheButtonsRectangle) {
  auto strip = Strip(198, 20);  // twice the size: three 66 x 20 frames
  ASSERT_TRUE(button_.SetImage(strip.get(), 3, FALSE));
  button_.m_rect = {10, 20, 43, 30};  // the button's size at 96 DPI
  auto canvas = DrawToCanvas();
  EXPECT_EQ(At(canvas.get(), 10, 20), kRed);
  EXPECT_EQ(At(canvas.get(), 42, 29), kRed);  // the whole first frame, and nothing of the second
  EXPECT_EQ(At(canvas.get(), 43, 20), kWhite);
}

TEST_F(ButtonDrawTest, ThreeSliceKeepsTheCapsAndStretchesTheMiddle) {
  // One frame, 45 wide: red cap, green middle, blue cap.
  auto strip = Strip(45, 10);
  ASSERT_TRUE(button_.SetImage(strip.get(), 1, TRUE));
  button_.m_rect.right = button_.m_rect.left + 100;  // stretched wider than the image
  auto canvas = DrawToCanvas();
  using Pixel = std::pair<int, Gdiplus::ARGB>;  // x on row 25, colour
  for (const auto& [x, colour] :
       {Pixel{10, kRed}, Pixel{24, kRed}, Pixel{60, kGreen}, Pixel{96, kBlue}, Pixel{109, kBlue}, Pixel{110, kWhite}}) {
    EXPECT_EQ(At(canvas.get(), x, 25), colour) << "x " << x;
  }
}

TEST_F(ButtonDrawTest, NoImageOrHiddenDrawsNothing) {
  auto canvas = DrawToCanvas();
  EXPECT_FALSE(drawn_);
  auto strip = Strip(90, 10);
  button_.SetImage(strip.get(), 3, FALSE);
  button_.m_bVisible = 0;
  canvas = DrawToCanvas();
  EXPECT_FALSE(drawn_);
  EXPECT_EQ(At(canvas.get(), 15, 25), kWhite);
}

TEST_F(ButtonDrawTest, SetImageRefusesNullImageAndZeroFrames) {
  auto strip = Strip(90, 10);
  const RECT before = button_.m_rect;
  EXPECT_FALSE(button_.SetImage(nullptr, 3, FALSE));
  EXPECT_FALSE(button_.SetImage(strip.get(), 0, TRUE));
  EXPECT_EQ(std::tuple(button_.m_pImage, button_.m_nFrames, button_.m_bOwnImage, button_.m_bThreeSlice),
            std::tuple(nullptr, 3, 1, 0));
  EXPECT_TRUE(EqualRect(&before, &button_.m_rect));
}

}  // namespace
