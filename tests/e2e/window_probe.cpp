// Lists the windows of the Wine session as the window system sees them: the
// class names, titles and styles that the X side does not show.
//
//   window-probe.exe
//
// One line per window, top-level windows in Z order, each followed by its
// descendants (indented by two spaces per level):
//   hwnd=N parent=N pid=N class=<...> title=<...> style=HEX exstyle=HEX
//   rect=L,T,R,B client=W,H visible=0|1
// Text is UTF-8; a line feed inside a title is written as \n.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  std::string out;
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return out;
  out.resize(static_cast<size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  std::string escaped;
  for (char c : out) {
    if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else escaped += c;
  }
  return escaped;
}

unsigned long long Number(HWND window) {
  return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window));
}

void Describe(HWND window, int depth) {
  wchar_t className[256] = L"";
  GetClassNameW(window, className, 256);
  // WM_GETTEXT through SendMessageTimeout: a hung window must not hang us.
  wchar_t title[1024] = L"";
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(title),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  title[1023] = 0;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  RECT rect{};
  GetWindowRect(window, &rect);
  RECT client{};
  GetClientRect(window, &client);
  std::printf("%*shwnd=%llu parent=%llu pid=%lu class=<%s> title=<%s> style=%08lx exstyle=%08lx "
              "rect=%ld,%ld,%ld,%ld client=%ld,%ld visible=%d\n",
              depth * 2, "", Number(window), Number(GetParent(window)), pid,
              Utf8(className).c_str(), Utf8(title).c_str(),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)), rect.left,
              rect.top, rect.right, rect.bottom, client.right, client.bottom,
              IsWindowVisible(window) ? 1 : 0);
}

void DescribeTree(HWND window, int depth) {
  Describe(window, depth);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    DescribeTree(child, depth + 1);
}

BOOL CALLBACK EachTopLevel(HWND window, LPARAM) {
  DescribeTree(window, 0);
  return TRUE;
}

}  // namespace

int main() {
  EnumWindows(EachTopLevel, 0);
  std::fflush(stdout);
  return 0;
}
