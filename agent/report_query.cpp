#include "report_query.h"

#include "client_profile.h"

#ifndef QUENVO_STAT_HOST
#define QUENVO_STAT_HOST "stat.quenvo.com"
#endif
#ifndef QUENVO_UPDATE_HOST
#define QUENVO_UPDATE_HOST "update.quenvo.com"
#endif

namespace {

constexpr wchar_t kStatHost[] = L"" QUENVO_STAT_HOST;
constexpr wchar_t kUpdateHost[] = L"" QUENVO_UPDATE_HOST;

constexpr wchar_t kInstallQuery[] =
    L"mid=%s&os=%s&c=%s&fn=%s&reg=install&t=%d&version=%s&fver=%s&fday=%s&uac=%d&flag=%s";
constexpr wchar_t kUninstallQuery[] =
    L"mid=%s&os=%s&c=%s&fn=%s&reg=uninstall&t=%d&version=%s&fver=%s&fday=%s&uac=%d&flag=%s";
constexpr wchar_t kDayRunQuery[] =
    L"mid=%s&os=%s&c=%s&fn=%s&reg=dayrun&t=%d&version=%s&fver=%s&fday=%s&rday=%s&uac=%d&flag=%s";
constexpr wchar_t kRunQuery[] =
    L"mid=%s&os=%s&c=%s&fn=%s&reg=run&t=%d&version=%s&fver=%s&fday=%s&rday=%s&uac=%d&flag=%s";
constexpr wchar_t kVersionQuery[] = L"mid=%s&os=%s&c=%s&fn=%s&t=%d&version=%s&fver=%s&fday=%s&rday=%s&uac=%d";
// The secret is hashed into the flag and never sent.
constexpr wchar_t kSigningText[] = L"mid=%s&os=%s&c=%s&reg=%s&secret=mer4721pkZBw53QJT610lavefoki";

}  // namespace

ReportValues ValuesOf(const ClientProfile& profile, int locale) {
  ReportValues v;
  v.mid = profile.mid;
  v.os = profile.os;
  v.ch = profile.ch;
  v.fn = profile.fn;
  v.locale = locale;
  v.version = kSuiteVersion;
  v.fver = profile.fver;
  v.fday = profile.fday;
  v.rday = profile.today;
  v.uac = profile.uac;
  return v;
}

std::wstring FillTemplate(const wchar_t* pattern, std::initializer_list<std::wstring> args) {
  std::wstring out;
  auto next = args.begin();
  for (const wchar_t* p = pattern; *p != L'\0'; ++p) {
    if (p[0] == L'%' && (p[1] == L's' || p[1] == L'd') && next != args.end()) {
      out += *next++;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::wstring SigningText(const std::wstring& mid, const std::wstring& os, const std::wstring& ch,
                         const std::wstring& event) {
  return FillTemplate(kSigningText, {mid, os, ch, event});
}

std::wstring InstallQuery(const ReportValues& v, bool install, const std::wstring& flag) {
  return FillTemplate(
      install ? kInstallQuery : kUninstallQuery,
      {v.mid, v.os, v.ch, v.fn, std::to_wstring(v.locale), v.version, v.fver, v.fday, std::to_wstring(v.uac), flag});
}

std::wstring RunQuery(const ReportValues& v, bool daily, const std::wstring& flag) {
  return FillTemplate(daily ? kDayRunQuery : kRunQuery, {v.mid, v.os, v.ch, v.fn, std::to_wstring(v.locale), v.version,
                                                         v.fver, v.fday, v.rday, std::to_wstring(v.uac), flag});
}

std::wstring VersionQuery(const ReportValues& v) {
  return FillTemplate(kVersionQuery, {v.mid, v.os, v.ch, v.fn, std::to_wstring(v.locale), v.version, v.fver, v.fday,
                                      v.rday, std::to_wstring(v.uac)});
}

std::wstring StatUrl(const std::wstring& query) {
  return std::wstring(L"http://") + kStatHost + L"/stat.php?" + query;
}

std::wstring VersionUrl(const std::wstring& query) {
  return std::wstring(L"http://") + kUpdateHost + L"/version.php?" + query;
}
