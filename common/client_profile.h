// The identity and install facts of this user and machine, kept in one static object per program.
#pragma once

#include <windows.h>

#include <string>

namespace Gdiplus {
class Image;
}

// The agent keeps the full profile; the registrar and the launcher only its registry upkeep.
enum class ProfileScope { kAgent, kCompanion };

extern const wchar_t kSuiteVersion[];  // "2.0.0.2"

class ClientProfile {
 public:
  explicit ClientProfile(ProfileScope scope);
  ClientProfile(const ClientProfile&) = delete;
  ClientProfile& operator=(const ClientProfile&) = delete;

  void Initialize();

  // The agent's reports (defined by the agent).
  void ReportInstallEvent(bool install);
  int ReportRun();
  std::wstring SignReport(const wchar_t* event) const;

  std::wstring os;
  std::wstring fday;
  std::wstring fver;
  std::wstring ch;
  std::wstring today;
  std::wstring mid;
  std::wstring fn;
  int uac = 0;

  // The update offer, filled by the update check.
  std::wstring updateText1;
  std::wstring updateText2;
  std::wstring updateText3;
  std::wstring updateUrl;
  std::wstring updateSize;
  std::wstring updateFilePath;

  // The update presenter's layout multipliers and images (not owned).
  int scaleX = 0;
  int scaleY = 0;
  Gdiplus::Image* downloadingImage = nullptr;
  Gdiplus::Image* closeButtonImage = nullptr;
  Gdiplus::Image* logoImage = nullptr;
  Gdiplus::Image* installButtonImage = nullptr;
  Gdiplus::Image* trackImage = nullptr;
  Gdiplus::Image* fillImage = nullptr;
  Gdiplus::Image* extraButtonImage = nullptr;

 private:
  void InitializeAgent();
  void InitializeCompanion();
  void ReadFirstDay();
  void ReadInstallerName(const std::wstring& setup);
  void ProbeSystem();  // "os" and the UAC state

  const ProfileScope scope_;
};

// The program's one profile, built before wWinMain.
extern ClientProfile g_profile;

// "%d-%d-%d" of year, month and day, without leading zeros.
std::wstring FormatDay(const SYSTEMTIME& time);
// The channel between the first "quenvo_ch" and the next ".exe" of the lowered installer name, or "1001".
std::wstring DeriveChannel(const std::wstring& setup);
// The installer name as UTF-8, URL-encoded.
std::wstring EncodeInstallerName(const std::wstring& setup);
