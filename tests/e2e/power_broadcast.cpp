// Sends the full-screen saver window one WM_POWERBROADCAST, as the system
// does when the machine's power state changes.
//
//   power-broadcast.exe EVENT
//
// EVENT is the broadcast's wParam (PBT_...), decimal or 0x hexadecimal; lParam
// is 0. Prints the window's answer and exits 0, or exits 1 when there is no
// saver window (or it did not answer within 5 s).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: power-broadcast EVENT\n");
        return 2;
    }
    const WPARAM event = std::strtoul(argv[1], nullptr, 0);
    HWND saver = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
    if (saver == nullptr) {
        std::fprintf(stderr, "power-broadcast: no saver window\n");
        return 1;
    }
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(saver, WM_POWERBROADCAST, event, 0, SMTO_ABORTIFHUNG, 5000, &answer)) {
        std::fprintf(stderr, "power-broadcast: no answer\n");
        return 1;
    }
    std::printf("event %lu: answer %lu\n", static_cast<unsigned long>(event),
                static_cast<unsigned long>(answer));
    std::fflush(stdout);
    return 0;
}
