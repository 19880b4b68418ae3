#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "client_profile.h"
#include "dpi_scale.h"
#include "installer_check.h"
#include "sound_signature.h"
#include "update_down.h"
#include "update_images.h"

// The tests set up the offer themselves; without an address the download thread ends at once.
ClientProfile g_profile(ProfileScope::kCompanion);

namespace {

std::vector<UINT> g_exits;
std::vector<std::wstring> g_opened, g_discarded;
DWORD g_open_error = 0;              // what opening the installer answers: 0 started, else the system's error
bool g_press_while_opening = false;  // a press comes while the shell opens the installer
std::wstring g_signer;               // whom the stand-in reader finds as every file's signer

// An existing file stands in for the stored installer.
const std::wstring kStandIn = QUENVO_TEST_DATA L"/../../art/update/logo.png";

class UpdateWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.ok());
    g_exits.clear();
    g_opened.clear();
    g_discarded.clear();
    g_open_error = 0;
    previous_ = SetUpdateWindowActions({[](UINT code) { g_exits.push_back(code); },
                                        [](HWND window, const std::wstring& path) {
                                          g_opened.push_back(path);
                                          if (std::exchange(g_press_while_opening, false)) {
                                            SendMessageW(window, WM_KEYDOWN, VK_RETURN, 1);
                                          }
                                          return g_open_error;
                                        },
                                        [](const std::wstring& path) { g_discarded.push_back(path); }});
    previousReader_ = SetSignatureReader([](const wchar_t*) { return SoundSignatureBy(g_signer); });
    g_signer = kPublisher;
    g_profile.updateUrl.clear();
    // The reader says who signed the stand-in.
    g_profile.updateFilePath = kStandIn;
    g_profile.updateSize = StoredSizeText(g_profile.updateFilePath);
    g_profile.scaleX = g_profile.scaleY = 1;
    images_.Publish(g_profile, kBaseDpi);
  }
  void TearDown() override {
    if (window_.m_hWnd != nullptr) window_.DestroyWindow();
    SetUpdateWindowActions(previous_);
    SetSignatureReader(previousReader_);
  }

  void Open() {
    const RECT rect = {0, 0, 450, 260};
    ASSERT_NE(window_.Create(nullptr, rect, L"update", WS_POPUP), nullptr);
  }
  void OpenWithArt() {
    ASSERT_EQ(images_.Load(GetModuleHandleW(nullptr)), 14);
    images_.Publish(g_profile, kBaseDpi);
    Open();
  }
  LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
    return SendMessageW(window_.m_hWnd, message, wparam, lparam);
  }
  void Click(int x, int y) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  void Key(UINT key) { Send(WM_KEYDOWN, key, 1); }
  // Paints now, the way the window would after an invalidation.
  void Paint() {
    InvalidateRect(window_.m_hWnd, nullptr, FALSE);
    UpdateWindow(window_.m_hWnd);
  }

  // GDI+ for the whole program; declared first, it outlives the images.
  static inline GdiplusSession session_;
  static inline UpdateImages images_;
  UpdateWindowActions previous_ = {};
  SignatureReader previousReader_ = nullptr;
  CUpdateDown window_;
};

// The program's own resources hold both drawings; each DPI gets the 1x set up to 96, the 2x set
// (exactly twice each 1x size) above.
TEST_F(UpdateWindowTest, LoadsTheSevenImagesInBothDrawingsAndPublishesTheOneForTheDpi) {
  UpdateImages images;
  ASSERT_EQ(images.Load(GetModuleHandleW(nullptr)), 14);
  EXPECT_EQ(UpdateImages().Load(GetModuleHandleW(L"kernel32.dll")), 0);  // a module without them
  const std::pair<UINT, UINT> sizes[7] = {{32, 32}, {75, 26}, {16, 16}, {330, 34}, {250, 10}, {250, 10}, {102, 20}};
  for (const auto& [dpi, factor] : {std::pair{96, 1u}, {120, 2u}, {144, 2u}, {192, 2u}, {240, 2u}}) {
    images.Publish(g_profile, dpi);
    Gdiplus::Image* published[7] = {g_profile.downloadingImage,   g_profile.closeButtonImage, g_profile.logoImage,
                                    g_profile.installButtonImage, g_profile.trackImage,       g_profile.fillImage,
                                    g_profile.extraButtonImage};
    for (int i = 0; i < 7; ++i) {
      ASSERT_NE(published[i], nullptr) << dpi << " dpi, image " << i;
      EXPECT_EQ(std::pair(published[i]->GetWidth(), published[i]->GetHeight()),
                std::pair(sizes[i].first * factor, sizes[i].second * factor))
          << dpi << " dpi, image " << i;
    }
  }
}

TEST_F(UpdateWindowTest, CreationLaysOutTheButtons) {
  ASSERT_NO_FATAL_FAILURE(OpenWithArt());
  const RECT close = window_.m_btnClose.m_rect, install = window_.m_btnInstall.m_rect;
  // Close is one 25-pixel frame of close.png.
  EXPECT_EQ(std::tuple(close.left, close.right, close.bottom), std::tuple(420, 445, 31));
  EXPECT_EQ(std::tuple(install.left, install.top, install.right, install.bottom), std::tuple(225, 214, 335, 248));
  EXPECT_EQ(window_.m_btnExtra.m_rect.right, 450);
  EXPECT_EQ(std::tuple(window_.m_btnClose.m_nFramePressed, window_.m_btnClose.m_nFrameHover), std::tuple(2, 1));
  EXPECT_EQ(window_.m_nPercent, 0);
  // The suite's icon, at the title bar's and the task bar's sizes for the window's DPI.
  for (const auto& [which, size] : {std::pair{ICON_SMALL, 16}, std::pair{ICON_BIG, 32}}) {
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(Send(WM_GETICON, which, 0)), &info)) << size;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

TEST_F(UpdateWindowTest, ProgressReportsMoveThePercentage) {
  Open();
  EXPECT_EQ(Send(WM_DOWNLOAD_PROGRESS, 1, 42), 0);
  EXPECT_EQ(window_.m_nPercent, 42);
  Send(WM_DOWNLOAD_PROGRESS, 0, 0);
  EXPECT_EQ(window_.m_nPercent, -1);
  Send(WM_DOWNLOAD_PROGRESS, 1, 60);  // a later report shows progress again
  EXPECT_EQ(window_.m_nPercent, 60);
  Send(WM_DOWNLOAD_PROGRESS, 0, 1);  // all bytes stored: topmost, percentage kept
  EXPECT_EQ(window_.m_nPercent, 60);
  EXPECT_TRUE(GetWindowLongW(window_.m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  Send(WM_DOWNLOAD_PROGRESS, 7, 3);
  EXPECT_EQ(window_.m_nPercent, 60);
}

// A file that fails the checks is refused in words; the window stays until it is closed.
TEST_F(UpdateWindowTest, TheChecksResultFinishesOrRefuses) {
  Open();
  EXPECT_EQ(Send(WM_DOWNLOAD_RESULT, 1, 0), 1);
  EXPECT_EQ(std::tuple(window_.m_bFinished, window_.view()), std::tuple(1, UpdateView::kFinished));
  EXPECT_EQ(Send(WM_DOWNLOAD_RESULT, 0, 0), 1);
  EXPECT_EQ(std::tuple(window_.m_bFinished, window_.view()), std::tuple(0, UpdateView::kRefused));
  EXPECT_TRUE(IsWindow(window_.m_hWnd));
  EXPECT_TRUE(g_exits.empty());
}

TEST_F(UpdateWindowTest, InstallActsOnlyOnceTheCheckHasPassedAndOpensOnlyAFileThatPassesAgain) {
  ASSERT_NO_FATAL_FAILURE(OpenWithArt());
  Send(WM_DOWNLOAD_PROGRESS, 1, 100);
  Click(250, 230);  // over the install button, file not yet verified
  Key(VK_RETURN);   // nor does a key install it
  EXPECT_TRUE(g_opened.empty());
  EXPECT_TRUE(g_exits.empty());
  EXPECT_EQ(window_.m_btnInstall.m_nState & PNGBTN_PRESSED, 0);

  Send(WM_DOWNLOAD_RESULT, 1, 0);
  ASSERT_FALSE(g_profile.updateSize.empty());
  g_signer = L"someone else";  // the file was replaced after the check: refused, deleted, not run
  Click(250, 230);
  EXPECT_TRUE(g_opened.empty() && g_exits.empty());
  EXPECT_EQ(std::tuple(window_.view(), g_discarded), std::tuple(UpdateView::kRefused, std::vector{kStandIn}));

  Send(WM_DOWNLOAD_RESULT, 1, 0);
  g_signer = kPublisher;
  g_open_error = ERROR_CANCELLED;  // the person declined the elevation prompt: asked again later
  g_press_while_opening = true;    // and pressed Enter again while it was up: nothing more opens
  Key(VK_RETURN);                  // once finished, Enter installs
  EXPECT_EQ(std::tuple(g_opened.size(), window_.view(), g_exits.empty()),
            std::tuple(size_t{1}, UpdateView::kFinished, true));
  g_open_error = ERROR_FILE_NOT_FOUND;  // any other failure is said
  Click(250, 230);
  EXPECT_EQ(std::tuple(g_opened.size(), window_.view(), g_exits.empty()),
            std::tuple(size_t{2}, UpdateView::kInstallFailed, true));
  g_open_error = 0;
  Click(250, 230);
  EXPECT_EQ(std::tuple(g_opened, g_exits), std::tuple(std::vector(3, kStandIn), std::vector<UINT>{0}));
}

// Close, by its button, by WM_CLOSE or by Esc, ends the process; a download that nobody will run
// is discarded, one that failed or was refused is gone already.
TEST_F(UpdateWindowTest, CloseEndsTheProcessAndDiscardsAnUnusedDownload) {
  ASSERT_NO_FATAL_FAILURE(OpenWithArt());
  Send(WM_LBUTTONUP, 0, MAKELPARAM(430, 10));  // a release alone is enough
  Send(WM_DOWNLOAD_PROGRESS, 0, 0);            // failed: nothing to discard
  Key(VK_ESCAPE);
  Send(WM_DOWNLOAD_RESULT, 1, 0);
  Send(WM_CLOSE, 0, 0);
  EXPECT_EQ(g_exits, std::vector<UINT>(3, 0));
  EXPECT_EQ(g_discarded, std::vector(2, kStandIn));
  Send(WM_LBUTTONUP, 0, MAKELPARAM(100, 100));  // elsewhere: nothing
  Send(WM_RBUTTONDOWN, 0, MAKELPARAM(430, 10));
  EXPECT_EQ(g_exits.size(), 3u);
  EXPECT_TRUE(g_opened.empty());
}

// Tab moves between the buttons that act; Space presses the focused one, Enter the focused or
// the default one; before the checks pass only close acts.
TEST_F(UpdateWindowTest, KeyboardMovesTheFocusAndPressesButtons) {
  Open();
  Key(VK_TAB);
  EXPECT_EQ(window_.focus(), FocusTarget::kClose);
  Key(VK_TAB);
  EXPECT_EQ(window_.focus(), FocusTarget::kClose);  // the only one that acts yet
  Send(WM_DOWNLOAD_RESULT, 1, 0);
  Key(VK_TAB);
  EXPECT_EQ(window_.focus(), FocusTarget::kInstall);
  Key(VK_TAB);
  EXPECT_EQ(window_.focus(), FocusTarget::kClose);
  Key(VK_SPACE);
  EXPECT_EQ(std::tuple(g_exits.size(), g_opened.size()), std::tuple(size_t{1}, size_t{0}));
  Send(WM_KEYDOWN, VK_RETURN, 1 | (1 << 30));  // a held key's repeat presses nothing
  EXPECT_EQ(g_exits.size(), 1u);
}

TEST_F(UpdateWindowTest, TheVersionQuerysAnswerMovesACheckingWindow) {
  using Case = std::tuple<CheckOutcome, UpdateView>;
  for (const auto& [outcome, view] :
       {Case{CheckOutcome::kNothingNewer, UpdateView::kUpToDate}, Case{CheckOutcome::kFailed, UpdateView::kCheckFailed},
        Case{CheckOutcome::kNewer, UpdateView::kDownloading}}) {
    window_.SetFirstView(UpdateView::kChecking);
    Open();
    Send(WM_UPDATE_CHECKED, static_cast<WPARAM>(outcome), 0);
    EXPECT_EQ(window_.view(), view);
    Send(WM_UPDATE_CHECKED, static_cast<WPARAM>(CheckOutcome::kFailed), 0);  // a window that checked once moves no more
    EXPECT_EQ(window_.view(), view);
    window_.DestroyWindow();
  }
}

TEST_F(UpdateWindowTest, HoverGoesToCloseAndExtraThenToInstall) {
  ASSERT_NO_FATAL_FAILURE(OpenWithArt());
  Send(WM_MOUSEMOVE, 0, MAKELPARAM(440, 20));  // where close and extra overlap
  EXPECT_EQ(window_.m_btnClose.m_nState, PNGBTN_HOVER);
  EXPECT_EQ(window_.m_btnExtra.m_nState, PNGBTN_HOVER);
  Send(WM_MOUSEMOVE, 0, MAKELPARAM(250, 230));
  EXPECT_EQ(window_.m_btnInstall.m_nState, 0);
  Send(WM_DOWNLOAD_RESULT, 1, 0);
  Send(WM_MOUSEMOVE, 0, MAKELPARAM(250, 230));
  EXPECT_EQ(window_.m_btnInstall.m_nState, PNGBTN_HOVER);
}

TEST_F(UpdateWindowTest, EraseRequestErasesNothing) {
  Open();
  const HDC dc = GetDC(window_.m_hWnd);
  EXPECT_EQ(Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(window_.m_hWnd, dc);
}

TEST_F(UpdateWindowTest, MissingImagesDoNotBreakLayoutOrPainting) {
  UpdateImages none;
  none.Publish(g_profile, kBaseDpi);
  Open();
  const RECT install = window_.m_btnInstall.m_rect;
  EXPECT_EQ(std::tuple(install.left, install.right), std::tuple(225, 335));  // the layout's, image or not
  for (int percent : {0, 50, 100}) {
    Send(WM_DOWNLOAD_PROGRESS, 1, percent);
    Paint();
  }
  Send(WM_DOWNLOAD_RESULT, 1, 0);
  Paint();
  EXPECT_TRUE(IsWindow(window_.m_hWnd));
}

}  // namespace
