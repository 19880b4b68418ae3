// The stack canaries' guard value and their failure handlers, in place of libssp's: its
// set-up opens a crypto provider (CryptAcquireContext, CryptGenRandom) before the program's
// first line runs, which loads and initialises a whole provider at every start. The guard
// comes from RtlGenRandom instead (advapi32's SystemFunction036), the generator that the
// providers themselves draw from. Defining every symbol of libssp's ssp.o here keeps that
// object, and its imports, out of the link; a second definition would fail the link.
#include <windows.h>
#include <ntsecapi.h>

#include <cstdint>

extern "C" {

// Read by the check of every protected function; never 0 once set.
uintptr_t __stack_chk_guard;

// A canary found overwritten: the stack is not to be trusted, so nothing of the program may
// run again (no handler, no unwinding, no exit routine). Windows 8 and later end the
// process at once with the stack-cookie fast fail, which no exception handler sees; before
// that the process ends with the status the platform's own cookie check reports.
[[noreturn]] void __stack_chk_fail() {
  if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
    asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
  }
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

// A fortified call (_FORTIFY_SOURCE) found its buffer too small: the same end.
[[noreturn]] void __chk_fail() {
  if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
    asm volatile("int $0x29" : : "c"(FAST_FAIL_RANGE_CHECK_FAILURE));
  }
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

}  // extern "C"

namespace {

// Runs before every other constructor (the lowest priority a program may use), and so before
// any protected function: only the start-up code, which has no canaries, runs earlier. It is
// itself unprotected, since the guard changes under it. Should the generator fail, values
// that differ at every start keep the guard from being known in advance.
__attribute__((constructor(101), no_stack_protector)) void SetUpStackGuard() {
  uintptr_t guard = 0;
  if (!RtlGenRandom(&guard, sizeof guard) || guard == 0) {
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    guard ^= static_cast<uintptr_t>(counter.QuadPart) ^ GetCurrentProcessId() ^ (GetCurrentThreadId() << 16) ^
             reinterpret_cast<uintptr_t>(&guard);
  }
  __stack_chk_guard = guard != 0 ? guard : 0x2B992DDFu;
}

}  // namespace
