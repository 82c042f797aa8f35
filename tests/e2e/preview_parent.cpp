// A stand-in for the display settings' preview box: a top-level window whose
// client area is exactly 152 x 112, the size of the preview the saver draws
// into.
//
//   preview-parent.exe OUTPUT [SECONDS] [X Y]
//
// Writes two lines to OUTPUT (or to stdout when OUTPUT is "-"):
//   HWND                       the window handle, decimal
//   CLIENT_X CLIENT_Y W H      the client area in screen coordinates
// then runs its message loop. It destroys its window when a file named "quit"
// appears in OUTPUT's folder, or after SECONDS (default 60), and exits 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kClientWidth = 152;
constexpr int kClientHeight = 112;
constexpr UINT_PTR kPollTimer = 1;

std::string g_quitPath;
DWORD g_deadline = 0;

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kPollTimer &&
          (FileExists(g_quitPath) || static_cast<LONG>(GetTickCount() - g_deadline) >= 0)) {
        KillTimer(window, kPollTimer);
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: preview-parent OUTPUT [SECONDS] [X Y]\n");
    return 2;
  }
  const std::string output = argv[1];
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
  const int x = argc > 4 ? std::atoi(argv[3]) : 100;
  const int y = argc > 4 ? std::atoi(argv[4]) : 100;

  std::string folder = output == "-" ? std::string(".") : output;
  const auto slash = folder.find_last_of("\\/");
  folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
  g_quitPath = folder + "\\quit";
  g_deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = ParentProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "MirutonPreviewParent";
  if (!RegisterClassA(&wc)) return 3;

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Preview parent", style, x, y,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return 4;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  // The frame a window manager or Wine draws may differ from what
  // AdjustWindowRectEx predicts: make the client area exact.
  RECT client;
  GetClientRect(window, &client);
  if (client.right != kClientWidth || client.bottom != kClientHeight) {
    RECT outer;
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0,
                 outer.right - outer.left + kClientWidth - client.right,
                 outer.bottom - outer.top + kClientHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(window, &client);
  }
  POINT origin{0, 0};
  ClientToScreen(window, &origin);

  char text[128];
  std::snprintf(text, sizeof text, "%llu\n%ld %ld %ld %ld\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)), origin.x,
                origin.y, client.right, client.bottom);
  if (output == "-") {
    std::fputs(text, stdout);
    std::fflush(stdout);
  } else {
    // Written under a temporary name and renamed, so that a reader never sees
    // half a file.
    const std::string partial = output + ".part";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) return 5;
    std::fputs(text, file);
    std::fclose(file);
    if (!MoveFileExA(partial.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING)) return 6;
  }

  SetTimer(window, kPollTimer, 100, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
