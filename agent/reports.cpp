// The statistics reports and the daily update check, as operations of the profile they carry.
#include "reports.h"

#include <windows.h>

#include "client_profile.h"
#include "http_get.h"
#include "marks.h"
#include "md5.h"
#include "policy.h"
#include "record_offer.h"
#include "report_query.h"
#include "text.h"
#include "update_offer.h"

namespace {

ReportTransport g_transport = HttpGet;

std::wstring Send(const std::wstring& url) {
  return g_transport(url);
}

ReportValues CurrentValues(const ClientProfile& profile) {
  return ValuesOf(profile, static_cast<int>(GetSystemDefaultLCID()));
}

}  // namespace

ReportTransport SetReportTransport(ReportTransport transport) {
  ReportTransport previous = g_transport;
  g_transport = transport;
  return previous;
}

std::wstring ClientProfile::SignReport(const wchar_t* event) const {
  const std::string text = ToAnsi(SigningText(mid, os, ch, event));
  char hex[64] = {};
  Md5Hex(text.c_str(), hex, sizeof hex);
  return FromAnsi(hex);
}

// Each start makes one report operation, so each start reads the policy once, here or in ReportRun.
void ClientProfile::ReportInstallEvent(bool install) {
  // Nothing is marked either: this installation goes unreported, and a later one, once the
  // switch is lifted, is reported as a first one.
  if (ReadAgentPolicy().disableStatistics) return;
  if (install) {
    // Marked before sending, whatever the outcome: an install is reported at most once.
    if (!ClaimMark(L"install", L"1", AnyText)) return;
    Send(StatUrl(InstallQuery(CurrentValues(*this), true, SignReport(L"install"))));
    return;
  }
  Send(StatUrl(InstallQuery(CurrentValues(*this), false, SignReport(L"uninstall"))));
}

int ClientProfile::ReportRun() {
  const AgentPolicy policy = ReadAgentPolicy();
  // With both switches on, nothing of the day runs, so the day is not marked either.
  if (policy.disableStatistics && policy.disableUpdateCheck) return 0;

  // Both run-family reports carry the signature of "run".
  const std::wstring flag = SignReport(L"run");
  const ReportValues values = CurrentValues(*this);
  if (!policy.disableStatistics) Send(StatUrl(RunQuery(values, /*daily*/ true, flag)));
  // The day is read after the daily report, when it is claimed: an agent that started during
  // another's requests finds the day claimed. Marked before the requests: a day counts as done
  // even when they fail.
  if (!ClaimMark(L"rday", today, SameText)) return 0;
  if (!policy.disableStatistics) Send(StatUrl(RunQuery(values, /*daily*/ false, flag)));
  if (policy.disableUpdateCheck) return 0;
  const UpdateOffer offer = ParseVersionReply(Send(VersionUrl(VersionQuery(values))));
  if (!IsNewerVersion(offer.version)) return 0;
  return RecordUpdateOffer(*this, offer);
}
