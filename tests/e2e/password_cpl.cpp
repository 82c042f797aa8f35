// A password verifier for the Windows 9x password tests. The saver loads
// PASSWORD.CPL with LoadLibraryA, which looks in the saver's own folder first,
// so this DLL takes the place of the system's.
//
// VerifyScreenSavePwd refuses the first time and accepts every later time.
// Each call appends "TICKS HWND" (both decimal) to verify.log beside the DLL.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HMODULE g_module = nullptr;
LONG g_calls = 0;

void AppendToLog(const char* line) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char* slash = std::strrchr(path, '\\');
  if (!slash || static_cast<size_t>(slash - path) + sizeof "\\verify.log" > MAX_PATH) return;
  std::strcpy(slash, "\\verify.log");
  if (FILE* log = std::fopen(path, "ab")) {
    std::fputs(line, log);
    std::fclose(log);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" BOOL WINAPI VerifyScreenSavePwd(HWND window) {
  char line[96];
  std::snprintf(line, sizeof line, "%lu %llu\n", GetTickCount(),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  AppendToLog(line);
  return InterlockedIncrement(&g_calls) == 1 ? FALSE : TRUE;
}
