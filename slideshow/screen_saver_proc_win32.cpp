// The slideshow's window procedure: window creation loads the pictures and
// starts the timer, every tick presents one planned frame, destruction frees
// the pictures. Everything else goes on to the default saver handling.
#include <windows.h>

#include <cstring>
#include <exception>
#include <new>

#include "animation.h"
#include "host/saver_procs.h"
#include "picture_loading.h"
#include "screen_saver_proc.h"
#include "show_tick.h"

namespace Tessera {

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kTickMilliseconds = 100;

// The process-wide state of the show and its random source.
SlideshowState theShow;
SlideRandom theRandom;

void Present(HWND window, const TickDrawing& drawing, const BitmapHeader& header) {
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, drawing.width, drawing.height);
    BITMAPINFO info{};
    static_assert(sizeof(info.bmiHeader) == sizeof(header));
    std::memcpy(&info.bmiHeader, &header, sizeof header);
    SetDIBits(memoryDc, bitmap, 0, static_cast<UINT>(header.biHeight), drawing.frame.data(), &info,
              DIB_RGB_COLORS);
    SelectObject(memoryDc, bitmap);
    BitBlt(windowDc, drawing.x, drawing.y, header.biWidth, header.biHeight, memoryDc, 0, 0,
           SRCCOPY);
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
                Present(window, drawing, theShow.header);
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
