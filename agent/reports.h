// How the reports travel. The operations themselves are members of ClientProfile
// (ReportInstallEvent, ReportRun, SignReport); this is the seam a test swaps.
#pragma once

#include <string>

// Sends one GET and returns the reply text, as HttpGet does.
using ReportTransport = std::wstring (*)(const std::wstring& url);
ReportTransport SetReportTransport(ReportTransport transport);
