// miruton-x11-probe: the test side of miruton's X11 tests.
//
//   window WIDTH HEIGHT [--destroy-after MS]   a grey window for miruton to draw in;
//                                               prints its id, runs until SIGTERM
//   frames WINDOW TRACE_DIR SHOTS INTERVAL_MS STARTED_MS [SCALE]
//                                               screenshots of WINDOW (an id or "root"),
//                                               each matched against the trace's frames
//   delete-window WINDOW                        the window manager's close request
//   cursor-hidden                               exit 0 when the pointer shows nothing
//
// TRACE_DIR holds trace.txt and the frames of tessera-show-trace for the
// window's size; STARTED_MS is when miruton started (milliseconds since the
// epoch). A screenshot shows tick t when the picture area at the tick's
// position is exactly frame t, everything else is black but for the text
// box, and the text box holds the text's colour of t or of the tick before.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TraceTick {
    int index = 0, counter = 0, x = 0, y = 0;
    std::uint32_t colour = 0;         // 0x00BBGGRR
    std::optional<int> textX, textY;  // given with monitors or a scale
};

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
    bool Black() const { return r == 0 && g == 0 && b == 0; }
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    const Rgb& At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// The text box: from the text's position, wide and tall enough for the
// 27 characters at scale 1 (the box itself is about 205 x 16).
constexpr int kTextBoxWidth = 250, kTextBoxHeight = 24;
constexpr int kTextFromRight = 250, kTextFromBottom = 32;

struct TextBox {
    int x, y, width, height;
    bool Contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

TextBox TextBoxOf(const Picture& shot, const TraceTick& tick, int scale) {
    return {tick.textX.value_or(shot.width - kTextFromRight),
            tick.textY.value_or(shot.height - kTextFromBottom), scale * kTextBoxWidth,
            scale * kTextBoxHeight};
}

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Window ParseWindow(Display* display, const char* text) {
    if (std::string(text) == "root") return DefaultRootWindow(display);
    return static_cast<Window>(std::strtoul(text, nullptr, 0));
}

std::vector<TraceTick> ReadTrace(const std::string& directory) {
    std::ifstream file(directory + "/trace.txt");
    std::vector<TraceTick> ticks;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        int t, step, mask;
        TraceTick tick;
        std::string colour;
        in >> t >> tick.index >> tick.counter >> step >> mask >> tick.x >> tick.y >> colour;
        tick.colour = static_cast<std::uint32_t>(std::stoul(colour, nullptr, 16));
        int textX = 0, textY = 0;
        if (in >> textX >> textY) {
            tick.textX = textX;
            tick.textY = textY;
        }
        ticks.push_back(tick);
    }
    return ticks;
}

std::optional<Picture> ReadPpm(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    Picture picture;
    int maximum = 0;
    file >> magic >> picture.width >> picture.height >> maximum;
    file.get();
    if (!file || magic != "P6" || maximum != 255) return std::nullopt;
    picture.pixels.resize(std::size_t(picture.width) * picture.height);
    file.read(reinterpret_cast<char*>(picture.pixels.data()),
              static_cast<std::streamsize>(picture.pixels.size() * 3));
    if (!file) return std::nullopt;
    return picture;
}

// Where a channel's top 8 bits lie in a pixel (fields of 8 bits or more).
int Shift(unsigned long mask) {
    int low = 0, bits = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++low;
    }
    for (; mask & 1; mask >>= 1) ++bits;
    return low + bits - 8;
}

// The window's contents as the server has them (TrueColor, the top 8 bits of
// each channel); *takenMs is a time by which the server had copied them.
Picture Screenshot(Display* display, Window window, long long* takenMs = nullptr) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (takenMs != nullptr) *takenMs = NowMs();
    Picture shot{attributes.width, attributes.height, {}};
    const Visual* v = attributes.visual;
    const int r = Shift(v->red_mask), g = Shift(v->green_mask), b = Shift(v->blue_mask);
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.pixels.push_back(
                {std::uint8_t(p >> r), std::uint8_t(p >> g), std::uint8_t(p >> b)});
        }
    XDestroyImage(image);
    return shot;
}

class Frames {
  public:
    explicit Frames(std::string directory) : directory(std::move(directory)) {}
    const Picture* Get(int t) {
        auto found = cache.find(t);
        if (found == cache.end()) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%05d.ppm", t);
            found = cache.emplace(t, ReadPpm(directory + name)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

  private:
    std::string directory;
    std::map<int, std::optional<Picture>> cache;
};

bool FrameMatches(const Picture& shot, const Picture& frame, const TraceTick& tick) {
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const int sx = tick.x + x, sy = tick.y + y;
            if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height) continue;
            if (!(shot.At(sx, sy) == frame.At(x, y))) return false;
        }
    return true;
}

// Pixels outside the frame and the text box that are not black.
int StrayPixels(const Picture& shot, const Picture& frame, const TraceTick& tick,
                const TextBox& text) {
    const TextBox picture{tick.x, tick.y, frame.width, frame.height};
    int stray = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (!shot.At(x, y).Black() && !picture.Contains(x, y) && !text.Contains(x, y)) ++stray;
    return stray;
}

bool TextIsBlack(const Picture& shot, const TextBox& text) {
    for (int y = std::max(text.y, 0); y < text.y + text.height && y < shot.height; ++y)
        for (int x = std::max(text.x, 0); x < text.x + text.width && x < shot.width; ++x)
            if (!shot.At(x, y).Black()) return false;
    return true;
}

bool TextHasColour(const Picture& shot, const TextBox& text, std::uint32_t colour) {
    const Rgb wanted{std::uint8_t(colour), std::uint8_t(colour >> 8), std::uint8_t(colour >> 16)};
    for (int y = std::max(text.y, 0); y < text.y + text.height && y < shot.height; ++y)
        for (int x = std::max(text.x, 0); x < text.x + text.width && x < shot.width; ++x)
            if (shot.At(x, y) == wanted) return true;
    return false;
}

int CheckFrames(Display* display, Window window, const std::string& traceDir, int shots,
                int intervalMs, long long startedMs, int scale) {
    const std::vector<TraceTick> trace = ReadTrace(traceDir);
    Frames frames(traceDir);
    int previous = 0, failures = 0, pictures = 0;
    // miruton's first tick comes after it has decoded the pictures: allow up
    // to 4 s of that on a loaded machine.
    constexpr int kStartupTicks = 40;
    for (int k = 0; k < shots; ++k) {
        if (k > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        // A busy server answers late, and the show goes on meanwhile: the
        // latest tick the shot may show is the one due when the answer came.
        long long taken = 0;
        const Picture shot = Screenshot(display, window, &taken);
        const long long elapsed = taken - startedMs;
        const int latest = static_cast<int>(elapsed / 100) + 1;
        std::optional<int> found;
        std::string why = "no tick's frame";
        for (int t = std::max(previous, latest - kStartupTicks);
             t <= latest && t < int(trace.size()); ++t) {
            const Picture* frame = frames.Get(t);
            if (frame == nullptr || !FrameMatches(shot, *frame, trace[t])) continue;
            const TextBox box = TextBoxOf(shot, trace[t], scale);
            const int stray = StrayPixels(shot, *frame, trace[t], box);
            // The text follows the frame within a tick, so a shot may come
            // between the two: it then shows the text of the tick before,
            // or, at the very first tick, none yet.
            const bool text = TextHasColour(shot, box, trace[t].colour) ||
                              (t > 0 && TextHasColour(shot, box, trace[t - 1].colour)) ||
                              (t == 0 && TextIsBlack(shot, box));
            if (stray != 0 || !text) {
                why = "frame " + std::to_string(t) + " but " + std::to_string(stray) +
                      " stray pixels" + (text ? "" : " and no text of its colour");
                continue;
            }
            found = t;  // the latest tick that fits
        }
        if (!found) {
            // Beyond the trace the shot cannot be judged: the trace is too short
            // for how slowly this machine took the shots.
            if (latest >= int(trace.size()))
                why += " (the trace ends at tick " + std::to_string(trace.size() - 1) + ")";
            std::printf("shot %d at %lld ms: %s among ticks up to %d\n", k, elapsed, why.c_str(),
                        latest);
            ++failures;
            continue;
        }
        const TraceTick& tick = trace[*found];
        const bool black = tick.counter <= 0;
        pictures += black ? 0 : 1;
        std::printf("shot %d at %lld ms: tick %d (picture %d, counter %d, at %d,%d)%s\n", k,
                    elapsed, *found, tick.index, tick.counter, tick.x, tick.y,
                    black ? " black" : "");
        previous = *found;
    }
    // Black frames fit many ticks; most shots must show a picture.
    if (pictures * 2 < shots) {
        std::printf("only %d of %d shots show a picture\n", pictures, shots);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

int HostWindow(Display* display, int width, int height, int destroyAfterMs) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    const int signals = signalfd(-1, &set, 0);
    const int screen = DefaultScreen(display);
    // Grey, so that a test sees whether miruton paints the window black.
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0x404040;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWOverrideRedirect, &attributes);
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    XSync(display, False);
    std::printf("0x%lx\n", window);
    std::fflush(stdout);
    // Until a signal, the server's end (reading then fails and Xlib exits),
    // or the time to destroy the window.
    pollfd watched[2] = {{signals, POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(destroyAfterMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (poll(watched, 2, destroyAfterMs > 0 ? std::max<int>(0, int(left.count())) : -1) == 0)
            break;
        if (watched[0].revents != 0) return 0;
        XEvent event;
        while (XPending(display) > 0) XNextEvent(display, &event);
    }
    // Destroyed while miruton draws in it; the connection stays a while, so
    // that it is the window, not its owner, that goes away.
    XDestroyWindow(display, window);
    XSync(display, False);
    poll(watched, 1, 3000);
    return 0;
}

int DeleteWindow(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return 0;
}

int CursorHidden(Display* display) {
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (cursor == nullptr) return 2;
    bool visible = false;
    for (int i = 0; i < cursor->width * cursor->height; ++i)
        visible = visible || (cursor->pixels[i] >> 24) != 0;  // alpha
    std::printf("cursor %dx%d %s\n", cursor->width, cursor->height, visible ? "visible" : "hidden");
    XFree(cursor);
    return visible ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "miruton-x11-probe: no display\n");
        return 2;
    }
    int status = 2;
    if (command == "window" && (argc == 4 || argc == 6)) {
        status = HostWindow(display, std::atoi(argv[2]), std::atoi(argv[3]),
                            argc == 6 ? std::atoi(argv[5]) : 0);
    } else if (command == "frames" && (argc == 7 || argc == 8)) {
        status = CheckFrames(display, ParseWindow(display, argv[2]), argv[3], std::atoi(argv[4]),
                             std::atoi(argv[5]), std::atoll(argv[6]),
                             argc == 8 ? std::atoi(argv[7]) : 1);
    } else if (command == "delete-window" && argc == 3) {
        status = DeleteWindow(display, ParseWindow(display, argv[2]));
    } else if (command == "cursor-hidden" && argc == 2) {
        status = CursorHidden(display);
    } else {
        std::fprintf(stderr, "miruton-x11-probe: see the comment at the top of x11_probe.cpp\n");
    }
    XCloseDisplay(display);
    return status;
}
