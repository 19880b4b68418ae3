// Test tool: starts a program with an exact raw command line and reports its exit code.
// "wine prog args" re-quotes its arguments, so the request comes in a UTF-8 file:
//   line 1: the program's path
//   line 2: the working folder (empty: inherit)
//   line 3: a file that receives the exit code, the run time in microseconds, the
//           performance counter at the start and its frequency; or "error" and the
//           system's error code when the program could not be started (empty: none).
//           Before that it holds "started" once the request is read, and "waiting" and the
//           program's process id while the program runs, so that a report cut short tells
//           how far this tool got (no file at all: Wine never reached wmain).
//   the rest, byte for byte: the command line
//
//   rawrun.exe REQUEST [COUNT]
//
// With COUNT, that many copies of the program start at one instant: each is created suspended,
// then all are resumed one after another, and the tool waits for the last. The report then says
// "waiting" with every process id, and at the end holds one line per copy, in the order of
// creation: its exit code, then the run time of them all, the counter and its frequency. When a
// copy cannot be created, those created before it are ended and the report says "error".
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void WriteResult(const std::wstring& path, const char* format, ...) {
  if (path.empty()) return;
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return;
  va_list args;
  va_start(args, format);
  vfprintf(f, format, args);
  va_end(args);
  fclose(f);
}

std::string ReadAll(const wchar_t* path) {
  std::string data;
  FILE* f = _wfopen(path, L"rb");
  if (!f) return data;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
  fclose(f);
  return data;
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  std::wstring w(s.size(), L'\0');
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return w;
}

std::string NextLine(const std::string& data, size_t& pos) {
  const size_t nl = data.find('\n', pos);
  const size_t end = nl == std::string::npos ? data.size() : nl;
  std::string line = data.substr(pos, end - pos);
  pos = nl == std::string::npos ? data.size() : nl + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 200;
  const unsigned long count = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 1;
  if (count < 1 || count > MAXIMUM_WAIT_OBJECTS) return 200;
  const std::string request = ReadAll(argv[1]);
  size_t pos = 0;
  const std::wstring program = Widen(NextLine(request, pos));
  const std::wstring folder = Widen(NextLine(request, pos));
  const std::wstring resultFile = Widen(NextLine(request, pos));
  const std::wstring commandLine = Widen(request.substr(pos));
  WriteResult(resultFile, "started");

  LARGE_INTEGER frequency, started, ended;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  std::vector<PROCESS_INFORMATION> copies;
  std::vector<HANDLE> processes;
  std::string waiting = "waiting";
  for (unsigned long i = 0; i < count; ++i) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;  // CreateProcessW may write into it
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, count > 1 ? CREATE_SUSPENDED : 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
      const DWORD error = GetLastError();
      for (HANDLE process : processes) TerminateProcess(process, 203);
      WriteResult(resultFile, "error %lu", error);
      return 201;
    }
    copies.push_back(pi);
    processes.push_back(pi.hProcess);
    waiting += " " + std::to_string(pi.dwProcessId);
  }
  WriteResult(resultFile, "%s", waiting.c_str());
  if (count > 1) {
    for (const PROCESS_INFORMATION& pi : copies) ResumeThread(pi.hThread);
  }
  WaitForMultipleObjects(count, processes.data(), /*all*/ TRUE, 120000);
  QueryPerformanceCounter(&ended);
  const long long micros = (ended.QuadPart - started.QuadPart) * 1000000LL / frequency.QuadPart;
  std::string report;
  DWORD first = 202;
  for (const PROCESS_INFORMATION& pi : copies) {
    DWORD code = 202;
    GetExitCodeProcess(pi.hProcess, &code);
    if (report.empty()) first = code;
    char line[96];
    std::snprintf(line, sizeof line, "%lu %lld %lld %lld\n", static_cast<unsigned long>(code), micros, started.QuadPart,
                  frequency.QuadPart);
    report += line;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  WriteResult(resultFile, "%s", report.c_str());
  return static_cast<int>(first);
}
