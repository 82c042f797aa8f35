// A password-change provider for the Windows 9x password-change test. Placed
// beside the saver as MPR.DLL and chosen over Wine's own with
// WINEDLLOVERRIDES="mpr=n".
//
// PwdChangePasswordA appends its four arguments to mpr.log beside the DLL as
//   PROVIDER OWNER ARG3 ARG4
// with the owner and the two numbers in decimal, and returns 0.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HMODULE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner,
                                                 DWORD reserved1,
                                                 DWORD reserved2) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
  char* slash = length && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
  if (slash && static_cast<size_t>(slash - path) + sizeof "\\mpr.log" <= MAX_PATH) {
    std::strcpy(slash, "\\mpr.log");
    if (FILE* log = std::fopen(path, "ab")) {
      std::fprintf(log, "%s %llu %lu %lu\n", provider ? provider : "(null)",
                   static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(owner)),
                   static_cast<unsigned long>(reserved1), static_cast<unsigned long>(reserved2));
      std::fclose(log);
    }
  }
  return 0;
}
