// The moving parts of the busy desktop bench/wan watches, drawn on an X display with xcb:
// photographs that change four times a second in a 640 x 400 window, and a 320 x 200 window
// dragged to and fro across the screen. (bench/wan adds an xterm scrolling text.)
//   zarn_bench_busy_desktop   (DISPLAY chooses the server; runs until killed)
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kPhotoWidth = 640, kPhotoHeight = 400;
constexpr int kPhotos = 8;

// Photograph-like content: smooth shapes of light and colour with fine grain, which neither
// a palette nor runs can shrink.
std::vector<uint32_t> MakePhoto(int seed)
{
    std::mt19937 random(uint32_t(seed) * 7919u + 1u);
    std::uniform_real_distribution<double> unit(0, 1);
    struct Blob {
        double x, y, radius, r, g, b;
    };
    std::vector<Blob> blobs(12);
    for (auto& blob : blobs)
        blob = { unit(random) * kPhotoWidth, unit(random) * kPhotoHeight, 60 + unit(random) * 200,
            unit(random), unit(random), unit(random) };
    std::vector<uint32_t> pixels(size_t(kPhotoWidth) * kPhotoHeight);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < kPhotoHeight; ++y)
        for (int x = 0; x < kPhotoWidth; ++x) {
            double r = 0.1, g = 0.1, b = 0.15;
            for (const auto& blob : blobs) {
                const double d = std::hypot(x - blob.x, y - blob.y) / blob.radius;
                const double w = std::exp(-d * d);
                r += w * blob.r, g += w * blob.g, b += w * blob.b;
            }
            auto channel = [&](double v) { return uint32_t(std::clamp(int(v * 160) + grain(random), 0, 255)); };
            pixels[size_t(y) * kPhotoWidth + x] = channel(r) << 16 | channel(g) << 8 | channel(b);
        }
    return pixels;
}

xcb_window_t MakeWindow(xcb_connection_t* c, xcb_screen_t* screen, int x, int y, int w, int h, uint32_t colour)
{
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = { colour, 1 }; // background, override-redirect: placed where asked
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), uint16_t(w),
        uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    return window;
}

} // namespace

int main()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "zarn_bench_busy_desktop: cannot open the display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    std::vector<std::vector<uint32_t>> photos;
    for (int i = 0; i < kPhotos; ++i)
        photos.push_back(MakePhoto(i));
    const xcb_window_t photoWindow = MakeWindow(c, screen, 620, 380, kPhotoWidth, kPhotoHeight, 0);
    const xcb_window_t dragged = MakeWindow(c, screen, 0, 560, 320, 200, 0x3060a0);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, photoWindow, 0, nullptr);
    xcb_flush(c);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int tick = 0;; ++tick) {
        // Every 50 ms the window moves; every fifth tick a new photograph, in bands so that no
        // request exceeds the server's limit.
        const int position = (tick * 8) % (2 * 900);
        const uint32_t place[] = { uint32_t(position < 900 ? position : 1800 - position), 560 };
        xcb_configure_window(c, dragged, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
        if (tick % 5 == 0) {
            const auto& photo = photos[size_t(tick / 5) % photos.size()];
            constexpr int kBand = 40;
            for (int y = 0; y < kPhotoHeight; y += kBand)
                xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, photoWindow, gc, kPhotoWidth, kBand, 0, int16_t(y), 0, 24,
                    uint32_t(kPhotoWidth * kBand * 4),
                    reinterpret_cast<const uint8_t*>(photo.data() + size_t(y) * kPhotoWidth));
        }
        xcb_flush(c);
        if (xcb_connection_has_error(c))
            return 0;
        std::this_thread::sleep_until(start + std::chrono::milliseconds(50 * (tick + 1)));
    }
}
