// Test tool: the stack protection at run time, built with the programs' hardening (their flags,
// and the guard and failure handlers of common/stack_guard.cpp).
//
//   guard_probe.exe REPORT stack|memcpy COUNT
//
// It appends lines to REPORT, each written and closed before it goes on:
//   "guard <hex>"  the canaries' guard value as wmain sees it;
//   "survived"     once COUNT bytes were written (the overflow, if it was one, went unseen);
//   "atexit"       from an atexit handler, when the process ends normally (exit code 0).
// "stack" writes COUNT bytes into a 16-byte array on the stack, "memcpy" copies COUNT bytes
// (at most 64) into an 8-byte heap block with a fortified memcpy. A detected overflow ends the
// process at once (0xC0000409), so neither "survived" nor "atexit" follows "guard".
// Exit code 2 on bad arguments.
#include <windows.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

extern "C" uintptr_t __stack_chk_guard;

namespace {

const wchar_t* g_report = nullptr;
char* volatile g_block = nullptr;  // keeps the copy alive: nothing else reads it

void Append(const char* line) {
  FILE* f = _wfopen(g_report, L"ab");
  if (!f) return;
  fputs(line, f);
  fputc('\n', f);
  fclose(f);
}

void AtExit() {
  Append("atexit");
}

// The count comes from the command line and every byte goes through a volatile pointer, so
// the compiler can neither see the overflow nor drop the writes. Beyond 16 they run over the
// canary (and, unchecked, the saved registers and the return address).
__attribute__((noinline)) void FillStackArray(size_t count) {
  char array[16];
  volatile char* bytes = array;
  for (size_t i = 0; i < count; ++i) bytes[i] = 'A';
}

// The block's size is known to the compiler, the count is not: the fortified memcpy checks it at
// run time. On the heap, so that no canary is near to catch it instead.
__attribute__((noinline)) void CopyIntoBlock(size_t count) {
  static const char source[64] = {'B'};
  char* block = static_cast<char*>(malloc(8));
  if (!block) return;
  memcpy(block, source, count);
  g_block = block;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  g_report = argv[1];
  const size_t count = wcstoul(argv[3], nullptr, 10);
  const bool stack = wcscmp(argv[2], L"stack") == 0;
  if (!stack && (wcscmp(argv[2], L"memcpy") != 0 || count > 64)) return 2;
  char line[64];
  snprintf(line, sizeof line, "guard %" PRIxPTR, __stack_chk_guard);
  Append(line);
  atexit(AtExit);
  if (stack) {
    FillStackArray(count);
  } else {
    CopyIntoBlock(count);
  }
  Append("survived");
  return 0;
}
