#include "frame_presenter_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

namespace Miruton {

namespace {

// The text's font: Windows draws it in the system font, a bold sans serif
// with an ascent of 13 pixels in cells 16 high. DejaVu Sans Bold at 13 pixels
// has the same ascent (cells of 17), and its 27 characters, 203 pixels, fit
// the 250 left of the primary monitor's right edge.
std::string FontPattern(int pixels) {
    return "DejaVu Sans,Liberation Sans,Arial,sans-serif:bold:pixelsize=" + std::to_string(pixels);
}

XRenderColor RenderColour(std::uint32_t colourRef) {
    // 0x00BBGGRR; each 8-bit channel times 257 spans 0..65535.
    const auto channel = [&](int shift) {
        return static_cast<unsigned short>(((colourRef >> shift) & 0xFF) * 257);
    };
    return XRenderColor{channel(0), channel(8), channel(16), 0xFFFF};
}

// The visual's masks, and the size and byte order of its pixels in images.
VisualFormat FormatOf(Display* display, const WindowGeometry& target) {
    VisualFormat format;
    format.visualClass = static_cast<VisualClass>(target.visual->c_class);
    format.depth = target.depth;
    format.bitsPerPixel = 0;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == target.depth) format.bitsPerPixel = formats[i].bits_per_pixel;
    if (formats != nullptr) XFree(formats);
    format.redMask = static_cast<std::uint32_t>(target.visual->red_mask);
    format.greenMask = static_cast<std::uint32_t>(target.visual->green_mask);
    format.blueMask = static_cast<std::uint32_t>(target.visual->blue_mask);
    format.msbFirst = ImageByteOrder(display) == MSBFirst;
    return format;
}

}  // namespace

FramePresenter::FramePresenter(Display* display, const WindowGeometry& target, XErrorRecord& errors,
                               int maxFrameWidth, int maxFrameHeight, int textPixels)
    : display(display), target(target) {
    std::string why;
    const auto chosen = ChoosePixelLayout(FormatOf(display, target), why);
    if (!chosen) throw std::runtime_error(why);
    layout = *chosen;
    CreateImage(maxFrameWidth, maxFrameHeight, errors);

    XGCValues values{};
    values.graphics_exposures = False;
    values.foreground = PixelValue(layout, 0, 0, 0);
    gc = XCreateGC(display, target.window, GCGraphicsExposures | GCForeground, &values);

    const int screen = DefaultScreen(display);
    draw = XftDrawCreate(display, target.window, target.visual, target.colormap);
    font = XftFontOpenName(display, screen, FontPattern(textPixels).c_str());
    if (font == nullptr) std::fprintf(stderr, "miruton: no font for the text; drawing none\n");
    const XRenderColor blackValue{0, 0, 0, 0xFFFF};
    XftColorAllocValue(display, target.visual, target.colormap, &blackValue, &black);
}

FramePresenter::~FramePresenter() {
    if (font != nullptr) XftFontClose(display, font);
    if (draw != nullptr) XftDrawDestroy(draw);
    if (gc != nullptr) XFreeGC(display, gc);
    if (shared) {
        XShmDetach(display, &segment);
        XSync(display, False);
        shmdt(segment.shmaddr);
    }
    if (image != nullptr) XDestroyImage(image);
}

void FramePresenter::CreateImage(int width, int height, XErrorRecord& errors) {
    if (XShmQueryExtension(display)) {
        image = XShmCreateImage(display, target.visual, static_cast<unsigned>(target.depth),
                                ZPixmap, nullptr, &segment, static_cast<unsigned>(width),
                                static_cast<unsigned>(height));
    }
    if (image != nullptr) {
        segment.shmid =
            shmget(IPC_PRIVATE, std::size_t(image->bytes_per_line) * height, IPC_CREAT | 0600);
        void* memory =
            segment.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(segment.shmid, nullptr, 0);
        if (memory != reinterpret_cast<void*>(-1)) {
            segment.shmaddr = image->data = static_cast<char*>(memory);
            segment.readOnly = False;
            // A server on another machine (or in another IPC namespace)
            // refuses the segment; the refusal comes back as an error.
            const int before = errors.errors;
            errors.expectingErrors = true;
            XShmAttach(display, &segment);
            XSync(display, False);
            errors.expectingErrors = false;
            shared = errors.errors == before;
            if (!shared) shmdt(memory);
        }
        // Marked for removal now, the segment goes away with the last user.
        if (segment.shmid >= 0) shmctl(segment.shmid, IPC_RMID, nullptr);
        if (!shared) {
            image->data = nullptr;
            XDestroyImage(image);
            image = nullptr;
        }
    }
    if (image == nullptr) {
        image = XCreateImage(display, target.visual, static_cast<unsigned>(target.depth), ZPixmap,
                             0, nullptr, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 32, 0);
        if (image == nullptr) throw std::runtime_error("cannot make an image for the window");
        // XDestroyImage frees the pixels with free().
        image->data = static_cast<char*>(std::calloc(std::size_t(image->bytes_per_line), height));
        if (image->data == nullptr) {
            XDestroyImage(image);
            throw std::bad_alloc();
        }
    }
}

void FramePresenter::Present(const TickDrawing& drawing) {
    ConvertFrame(drawing.frame, drawing.width, drawing.height, layout,
                 reinterpret_cast<std::uint8_t*>(image->data),
                 static_cast<std::size_t>(image->bytes_per_line));
    const auto w = static_cast<unsigned>(drawing.width);
    const auto h = static_cast<unsigned>(drawing.height);
    if (shared) {
        XShmPutImage(display, target.window, gc, image, 0, 0, drawing.x, drawing.y, w, h, False);
    } else {
        XPutImage(display, target.window, gc, image, 0, 0, drawing.x, drawing.y, w, h);
    }
    if (drawing.drawText) DrawText(drawing);
    // The server has read the shared image before the next tick writes it;
    // errors about the window arrive now, not a tick later.
    XSync(display, False);
}

void FramePresenter::DrawText(const TickDrawing& drawing) {
    if (font == nullptr) return;
    const auto* text = reinterpret_cast<const FcChar8*>(drawing.text.data());
    const int length = static_cast<int>(drawing.text.size());
    XGlyphInfo extents{};
    XftTextExtentsUtf8(display, font, text, length, &extents);
    // Opaque text as on Windows: the cells of the whole line on black, the
    // given point being the top-left corner of the first cell.
    XftDrawRect(draw, &black, drawing.textX, drawing.textY, static_cast<unsigned>(extents.xOff),
                static_cast<unsigned>(font->ascent + font->descent));
    const XRenderColor value = RenderColour(drawing.textColour);
    XftColor colour{};
    XftColorAllocValue(display, target.visual, target.colormap, &value, &colour);
    XftDrawStringUtf8(draw, &colour, font, drawing.textX, drawing.textY + font->ascent, text,
                      length);
    XftColorFree(display, target.visual, target.colormap, &colour);
}

std::string FramePresenter::Describe() const {
    char visual[160];
    std::snprintf(visual, sizeof visual,
                  "visual 0x%lx, depth %d, %d bits a pixel, masks %06lx %06lx %06lx; ",
                  XVisualIDFromVisual(target.visual), target.depth, 8 * layout.bytesPerPixel,
                  target.visual->red_mask, target.visual->green_mask, target.visual->blue_mask);
    std::string text = visual;
    text += shared ? "frames through MIT-SHM" : "frames in XPutImage requests (no MIT-SHM)";
    FcChar8* family = nullptr;
    FcChar8* style = nullptr;
    double pixels = 0;
    if (font != nullptr &&
        FcPatternGetString(font->pattern, FC_FAMILY, 0, &family) == FcResultMatch &&
        FcPatternGetString(font->pattern, FC_STYLE, 0, &style) == FcResultMatch &&
        FcPatternGetDouble(font->pattern, FC_PIXEL_SIZE, 0, &pixels) == FcResultMatch) {
        text += "; text in " + std::string(reinterpret_cast<char*>(family)) + " " +
                reinterpret_cast<char*>(style) + " " + std::to_string(std::lround(pixels)) + " px";
    } else {
        text += "; no text font";
    }
    return text;
}

void FramePresenter::FillBlack(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    XFillRectangle(display, target.window, gc, x, y, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
}

}  // namespace Miruton
