// The texts of the agent's requests: report and version queries, the signing text, and the
// URLs they travel in. Pure formatting, no network.
#pragma once

#include <initializer_list>
#include <string>

class ClientProfile;

// The values a report carries, in the order of the query.
struct ReportValues {
  std::wstring mid;
  std::wstring os;
  std::wstring ch;
  std::wstring fn;
  int locale = 0;  // the system default locale identifier, printed as signed decimal
  std::wstring version;
  std::wstring fver;
  std::wstring fday;
  std::wstring rday;
  int uac = 0;
};

ReportValues ValuesOf(const ClientProfile& profile, int locale);

// The template with each "%s" or "%d" replaced by the next argument, in order. Numbers are
// passed already printed; a template with more fields than arguments keeps the rest as is.
std::wstring FillTemplate(const wchar_t* pattern, std::initializer_list<std::wstring> args);

// "mid=..&os=..&c=..&reg=<event>&secret=..": the text whose MD5 is the report's "flag".
std::wstring SigningText(const std::wstring& mid, const std::wstring& os, const std::wstring& ch,
                         const std::wstring& event);

// The install ("install") or uninstall ("uninstall") report query.
std::wstring InstallQuery(const ReportValues& v, bool install, const std::wstring& flag);
// The daily-run ("dayrun") or run ("run") report query; both carry "rday".
std::wstring RunQuery(const ReportValues& v, bool daily, const std::wstring& flag);
// The version query: the run query's values without "reg" and "flag".
std::wstring VersionQuery(const ReportValues& v);

// "http://<statistics host>/stat.php?<query>" and "http://<update host>/version.php?<query>".
std::wstring StatUrl(const std::wstring& query);
std::wstring VersionUrl(const std::wstring& query);
