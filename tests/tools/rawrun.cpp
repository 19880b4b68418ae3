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
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

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
  const std::string request = ReadAll(argv[1]);
  size_t pos = 0;
  const std::wstring program = Widen(NextLine(request, pos));
  const std::wstring folder = Widen(NextLine(request, pos));
  const std::wstring resultFile = Widen(NextLine(request, pos));
  std::wstring commandLine = Widen(request.substr(pos));
  WriteResult(resultFile, "started");

  LARGE_INTEGER frequency, started, ended;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    WriteResult(resultFile, "error %lu", GetLastError());
    return 201;
  }
  WriteResult(resultFile, "waiting %lu", pi.dwProcessId);
  WaitForSingleObject(pi.hProcess, 120000);
  QueryPerformanceCounter(&ended);
  const long long micros = (ended.QuadPart - started.QuadPart) * 1000000LL / frequency.QuadPart;
  DWORD code = 202;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  WriteResult(resultFile, "%lu %lld %lld %lld", static_cast<unsigned long>(code), micros, started.QuadPart,
              frequency.QuadPart);
  return static_cast<int>(code);
}
