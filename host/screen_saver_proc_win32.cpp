// The slideshow's window procedure: window creation loads the pictures and
// starts the timer, every tick presents one planned frame, destruction frees
// the pictures. Everything else goes on to the default saver handling.
#include <windows.h>

#include <exception>
#include <new>

#include "saver_procs.h"
#include "screen_saver_proc.h"
#include "slideshow/animation.h"
#include "slideshow/picture_loading.h"
#include "slideshow/show_tick.h"

namespace Tessera {

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kTickMilliseconds = 100;

// The process-wide state of the show and its random source.
SlideshowState theShow;
SlideRandom theRandom;

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
        SetTextColor(windowDc, drawing.textColour);
        SetBkColor(windowDc, RGB(0, 0, 0));
        TextOutA(windowDc, drawing.textX, drawing.textY, drawing.text.data(),
                 static_cast<int>(drawing.text.size()));
    }
    DeleteDC(memoryDc);
    DeleteObject(bitmap);
    ReleaseDC(window, windowDc);
}

}  // namespace

SlideshowState& Slideshow() {
    return theShow;
}

LRESULT CALLBACK ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            RECT client{};
            GetClientRect(window, &client);
            try {
                ResourcePictureSource source;
                LoadPictures(theShow, client.right, client.bottom, source);
            } catch (const std::exception&) {
                // A picture that cannot be decoded: creation fails, and the
                // host ends the run with a failure instead of a broken window.
                ReleasePictures(theShow);
                return -1;
            }
            SetTimer(window, kAnimationTimer, kTickMilliseconds, nullptr);
            return 0;
        }
        case WM_DESTROY:
            ReleasePictures(theShow);
            KillTimer(window, kAnimationTimer);
            return 0;
        case WM_TIMER:
            // Whatever timer sent it: the show has only one.
            try {
                const TickDrawing drawing = PlanTick(theShow);
                Present(window, drawing);
            } catch (const std::bad_alloc&) {
                // No memory for this frame: the tick only loses its frame.
            }
            AdvanceAnimation(theShow, theRandom);
            return 0;
        default:
            return DefaultSaverProc(window, message, wParam, lParam);
    }
}

}  // namespace Tessera
