// A stand-in for a system program that the tests expect to be started (the
// installer's finish page starts control.exe with the screen-saver settings).
// Put in place of the program, it appends its whole command line as one line
// to NAME.log beside itself (NAME: its own file name without .exe) and exits 0.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* dot = length && length < MAX_PATH ? std::strrchr(path, '.') : nullptr;
    if (dot == nullptr || static_cast<size_t>(dot - path) + sizeof ".log" > MAX_PATH) return 1;
    std::strcpy(dot, ".log");
    FILE* log = std::fopen(path, "ab");
    if (log == nullptr) return 1;
    std::fprintf(log, "%s\n", GetCommandLineA());
    std::fclose(log);
    return 0;
}
