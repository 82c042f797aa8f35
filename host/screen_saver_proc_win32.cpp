// The slideshow's window procedure: window creation makes the show (its
// pictures decoded) and starts the timer, every tick presents one planned
// frame, destruction frees the show. Everything else goes on to the default
// saver handling.
#include <windows.h>

#include <exception>
#include <new>
#include <optional>

#include "host_win32.h"
#include "saver_procs.h"
#include "screen_layout_win32.h"
#include "screen_saver_proc.h"
#include "slideshow/show.h"

namespace Miruton {

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kTickMilliseconds = 100;

// The process's show, from window creation to destruction.
std::optional<Show> theShow;

// The frame's rows are top-down, which a DIB says with a negative height.
BITMAPINFO FrameHeader(const TickDrawing& drawing) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = drawing.width;
    info.bmiHeader.biHeight = -drawing.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(drawing.frame.size());
    return info;
}

// The cell height of a window's default font, System, at 96 dpi. Systems
// differ in whether they enlarge that font at a higher resolution (Wine makes
// it taller but no wider), so the scaled font starts from its 96-dpi size.
constexpr LONG kDefaultFontHeight = 16;

// The device context's default font (its face, weight and character set),
// `scale` times its size at 96 dpi.
HFONT ScaledDefaultFont(HDC dc, int scale) {
    LOGFONTA font{};
    if (GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font) != sizeof font)
        return nullptr;
    font.lfHeight = scale * kDefaultFontHeight;
    font.lfWidth = 0;  // the face's own proportions
    return CreateFontIndirectA(&font);
}

void Present(HWND window, const TickDrawing& drawing) {
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, drawing.width, drawing.height);
    const BITMAPINFO info = FrameHeader(drawing);
    SetDIBits(memoryDc, bitmap, 0, static_cast<UINT>(drawing.height), drawing.frame.data(), &info,
              DIB_RGB_COLORS);
    SelectObject(memoryDc, bitmap);
    BitBlt(windowDc, drawing.x, drawing.y, drawing.width, drawing.height, memoryDc, 0, 0, SRCCOPY);
    if (drawing.drawText) {
        // At scale 1 the text keeps the device context's own font.
        HFONT font = drawing.scale > 1 ? ScaledDefaultFont(windowDc, drawing.scale) : nullptr;
        HGDIOBJ previousFont = font != nullptr ? SelectObject(windowDc, font) : nullptr;
        SetTextColor(windowDc, drawing.textColour);
        SetBkColor(windowDc, RGB(0, 0, 0));
        TextOutA(windowDc, drawing.textX, drawing.textY, drawing.text.data(),
                 static_cast<int>(drawing.text.size()));
        // The window's device context is its own (CS_OWNDC): leave it as found.
        if (font != nullptr) {
            SelectObject(windowDc, previousFont);
            DeleteObject(font);
        }
    }
    DeleteDC(memoryDc);
    DeleteObject(bitmap);
    ReleaseDC(window, windowDc);
}

// Window creation: the show for the window's screen. A picture that cannot be
// decoded makes creation fail, and the host ends the run with a failure
// instead of a broken window.
LRESULT CreateShow(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    // The preview's window is given and small: it is never scaled.
    const bool preview = Host().preview;
    const ScreenLayout screen =
        preview ? SingleScreen(client.right, client.bottom) : QueryScreenLayout(window);
    try {
        ResourcePictureSource source;
        theShow.emplace(screen, source, preview);
    } catch (const std::exception&) {
        return -1;  // the show stays empty
    }
    SetTimer(window, kAnimationTimer, kTickMilliseconds, nullptr);
    return 0;
}

void Tick(HWND window, Show& show) {
    try {
        Present(window, show.PlanTick());
    } catch (const std::bad_alloc&) {
        // No memory for this frame: the tick only loses its frame.
    }
    show.AdvanceAnimation();
}

}  // namespace

LRESULT CALLBACK ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return CreateShow(window);
        case WM_DESTROY:
            theShow.reset();
            KillTimer(window, kAnimationTimer);
            return 0;
        case WM_TIMER:
            // Whatever timer sent it: the show has only one.
            if (theShow) Tick(window, *theShow);
            return 0;
        default:
            return DefaultSaverProc(window, message, wParam, lParam);
    }
}

}  // namespace Miruton
