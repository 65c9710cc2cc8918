#include "XcbCanvas.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace zarn::test {

namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> XcbReply<T> Owned(T* reply)
{
    return XcbReply<T>(reply, &std::free);
}

[[noreturn]] void Fail(const std::string& why)
{
    throw std::runtime_error("XcbCanvas: " + why);
}

uint8_t Red(Rgb c)
{
    return static_cast<uint8_t>(c >> 16);
}
uint8_t Green(Rgb c)
{
    return static_cast<uint8_t>(c >> 8);
}
uint8_t Blue(Rgb c)
{
    return static_cast<uint8_t>(c);
}
Rgb MakeRgb(unsigned r, unsigned g, unsigned b)
{
    return ((r & 0xff) << 16) | ((g & 0xff) << 8) | (b & 0xff);
}

int LowestBit(uint32_t mask)
{
    return mask ? __builtin_ctz(mask) : 0;
}
int BitCount(uint32_t mask)
{
    return __builtin_popcount(mask);
}

// A component of 8 bits widened or narrowed to the bits of a visual mask, and back.
uint32_t ToMask(uint8_t component, uint32_t mask)
{
    const int bits = BitCount(mask);
    const uint32_t value = bits >= 8 ? uint32_t(component) << (bits - 8) : uint32_t(component) >> (8 - bits);
    return (value << LowestBit(mask)) & mask;
}

uint8_t FromMask(uint32_t pixel, uint32_t mask)
{
    const int bits = BitCount(mask);
    const uint32_t value = (pixel & mask) >> LowestBit(mask);
    if (bits >= 8)
        return static_cast<uint8_t>(value >> (bits - 8));
    return static_cast<uint8_t>(bits == 0 ? 0 : (value * 255) / ((1u << bits) - 1));
}

size_t RowBytes(int width, int bitsPerPixel, int scanlinePad)
{
    const size_t bits = static_cast<size_t>(width) * bitsPerPixel;
    const size_t padded = (bits + scanlinePad - 1) / scanlinePad * scanlinePad;
    return padded / 8;
}

// Deterministic noise so that a failing picture can be drawn again.
class XorShift {
public:
    explicit XorShift(uint32_t seed)
        : FState(seed ? seed : 0x9e3779b9u)
    {
    }
    uint32_t Next()
    {
        FState ^= FState << 13;
        FState ^= FState >> 17;
        FState ^= FState << 5;
        return FState;
    }

private:
    uint32_t FState;
};

int Clamp255(int v)
{
    return std::clamp(v, 0, 255);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Connection and visual

XcbCanvas::XcbCanvas(const std::string& display)
{
    int screenNumber = 0;
    FConn = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(FConn)) {
        xcb_disconnect(FConn);
        FConn = nullptr;
        Fail("cannot connect to display " + display);
    }
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        Fail("only least-significant-byte-first images are handled");

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        Fail("display has no screen " + std::to_string(screenNumber));
    FScreen = screens.data;

    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i) {
        if (formats[i].depth == FScreen->root_depth) {
            FBitsPerPixel = formats[i].bits_per_pixel;
            FScanlinePad = formats[i].scanline_pad;
        }
    }
    if (FBitsPerPixel != 8 && FBitsPerPixel != 32)
        Fail("unsupported pixel size " + std::to_string(FBitsPerPixel));

    bool visualFound = false;
    for (auto depths = xcb_screen_allowed_depths_iterator(FScreen); depths.rem; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id != FScreen->root_visual)
                continue;
            visualFound = true;
            FIndexed = visuals.data->_class == XCB_VISUAL_CLASS_PSEUDO_COLOR
                || visuals.data->_class == XCB_VISUAL_CLASS_STATIC_COLOR;
            FRedMask = visuals.data->red_mask;
            FGreenMask = visuals.data->green_mask;
            FBlueMask = visuals.data->blue_mask;
            if (!FIndexed && visuals.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR)
                Fail("root visual is neither TrueColor nor PseudoColor");
        }
    }
    if (!visualFound)
        Fail("root visual not described by the server");
    if (FIndexed && FBitsPerPixel != 8)
        Fail("indexed visual with more than 8 bits per pixel");

    FGc = xcb_generate_id(FConn);
    xcb_create_gc(FConn, FGc, FScreen->root, 0, nullptr);
}

XcbCanvas::~XcbCanvas()
{
    if (FConn) {
        xcb_free_gc(FConn, FGc);
        xcb_flush(FConn);
        xcb_disconnect(FConn);
    }
}

int XcbCanvas::Width() const
{
    return FScreen->width_in_pixels;
}
int XcbCanvas::Height() const
{
    return FScreen->height_in_pixels;
}
int XcbCanvas::Depth() const
{
    return FScreen->root_depth;
}
uint32_t XcbCanvas::Root() const
{
    return FScreen->root;
}

void XcbCanvas::Sync()
{
    auto reply = Owned(xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr));
    if (!reply || xcb_connection_has_error(FConn))
        Fail("connection to the display broke");
}

void XcbCanvas::CheckNoError(const char* what)
{
    // Errors of unchecked requests arrive as events; anything pending after a round trip
    // belongs to the drawing just done.
    Sync();
    while (auto event = Owned(xcb_poll_for_event(FConn))) {
        if (event->response_type == 0) {
            auto* error = reinterpret_cast<xcb_generic_error_t*>(event.get());
            Fail(std::string(what) + " failed with X error " + std::to_string(error->error_code));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Colours

uint32_t XcbCanvas::TrueColorPixel(Rgb colour) const
{
    return ToMask(Red(colour), FRedMask) | ToMask(Green(colour), FGreenMask)
        | ToMask(Blue(colour), FBlueMask);
}

Rgb XcbCanvas::ColourOfTrueColorPixel(uint32_t pixel) const
{
    return MakeRgb(FromMask(pixel, FRedMask), FromMask(pixel, FGreenMask), FromMask(pixel, FBlueMask));
}

uint32_t XcbCanvas::AllocateCell(Rgb colour)
{
    auto cached = FCells.find(colour);
    if (cached != FCells.end())
        return cached->second;
    auto reply = Owned(xcb_alloc_color_reply(FConn,
        xcb_alloc_color(
            FConn, FScreen->default_colormap, Red(colour) * 257, Green(colour) * 257, Blue(colour) * 257),
        nullptr));
    if (!reply) {
        std::ostringstream why;
        why << "no colormap cell left for colour 0x" << std::hex << colour << " after " << std::dec
            << FCells.size() << " allocations";
        Fail(why.str());
    }
    FCells.emplace(colour, reply->pixel);
    return reply->pixel;
}

uint32_t XcbCanvas::PixelFor(Rgb colour)
{
    return FIndexed ? AllocateCell(colour) : TrueColorPixel(colour);
}

std::array<Rgb, 256> XcbCanvas::Colormap()
{
    if (!FIndexed)
        Fail("the display has no colormap of indices");
    std::array<uint32_t, 256> cells {};
    for (uint32_t i = 0; i < cells.size(); ++i)
        cells[i] = i;
    auto reply = Owned(xcb_query_colors_reply(
        FConn, xcb_query_colors(FConn, FScreen->default_colormap, cells.size(), cells.data()), nullptr));
    if (!reply || xcb_query_colors_colors_length(reply.get()) != static_cast<int>(cells.size()))
        Fail("querying the colormap failed");
    const xcb_rgb_t* colours = xcb_query_colors_colors(reply.get());
    std::array<Rgb, 256> table {};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = MakeRgb(colours[i].red >> 8, colours[i].green >> 8, colours[i].blue >> 8);
    return table;
}

// ---------------------------------------------------------------------------------------------
// Drawing

uint32_t XcbCanvas::GcFor(uint32_t /*drawable*/)
{
    // One GC serves the root and every window made here: they share root and depth.
    return FGc;
}

void XcbCanvas::FillRect(int x, int y, int width, int height, Rgb colour, std::optional<uint32_t> window)
{
    const uint32_t drawable = window.value_or(Root());
    const uint32_t gc = GcFor(drawable);
    const uint32_t foreground = PixelFor(colour);
    xcb_change_gc(FConn, gc, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rect { static_cast<int16_t>(x), static_cast<int16_t>(y),
        static_cast<uint16_t>(width), static_cast<uint16_t>(height) };
    xcb_poly_fill_rectangle(FConn, drawable, gc, 1, &rect);
}

std::vector<uint8_t> XcbCanvas::PackPixels(int width, int height, const std::vector<Rgb>& colours)
{
    const size_t rowBytes = RowBytes(width, FBitsPerPixel, FScanlinePad);
    std::vector<uint8_t> data(rowBytes * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = data.data() + rowBytes * y;
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = PixelFor(colours[static_cast<size_t>(y) * width + x]);
            if (FBitsPerPixel == 8) {
                row[x] = static_cast<uint8_t>(pixel);
            } else {
                std::memcpy(row + 4 * x, &pixel, 4); // least significant byte first
            }
        }
    }
    return data;
}

void XcbCanvas::PutImageRows(uint32_t drawable, int x, int y, int width, int rows, const uint8_t* data)
{
    const size_t rowBytes = RowBytes(width, FBitsPerPixel, FScanlinePad);
    xcb_put_image(FConn, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, GcFor(drawable), width, rows, x, y, 0,
        FScreen->root_depth, static_cast<uint32_t>(rowBytes * rows), data);
}

void XcbCanvas::PutImage(
    int x, int y, int width, int height, const std::vector<Rgb>& colours, std::optional<uint32_t> window)
{
    if (width <= 0 || height <= 0)
        return;
    if (colours.size() != static_cast<size_t>(width) * height)
        Fail("PutImage: pixel count does not match the size");
    const std::vector<uint8_t> data = PackPixels(width, height, colours);
    const size_t rowBytes = RowBytes(width, FBitsPerPixel, FScanlinePad);
    // Requests are bounded in size; send the picture in strips of whole rows.
    const size_t maxRequestBytes = static_cast<size_t>(xcb_get_maximum_request_length(FConn)) * 4;
    const size_t headerBytes = 64;
    const int rowsPerRequest
        = static_cast<int>(std::max<size_t>(1, (maxRequestBytes - headerBytes) / rowBytes));
    const uint32_t drawable = window.value_or(Root());
    for (int top = 0; top < height; top += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, height - top);
        PutImageRows(drawable, x, y + top, width, rows, data.data() + rowBytes * top);
    }
    CheckNoError("PutImage");
}

uint32_t XcbCanvas::CreateWindow(int x, int y, int width, int height, Rgb background)
{
    const uint32_t window = xcb_generate_id(FConn);
    // Value order follows the mask bits: background pixel, then override-redirect.
    const uint32_t values[] = { PixelFor(background), 1 };
    xcb_create_window(FConn, XCB_COPY_FROM_PARENT, window, Root(), static_cast<int16_t>(x),
        static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, FScreen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
        values);
    xcb_map_window(FConn, window);
    CheckNoError("CreateWindow");
    return window;
}

void XcbCanvas::MoveWindow(uint32_t window, int x, int y)
{
    const uint32_t values[] = { static_cast<uint32_t>(x), static_cast<uint32_t>(y) };
    xcb_configure_window(FConn, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    CheckNoError("MoveWindow");
}

void XcbCanvas::DestroyWindow(uint32_t window)
{
    xcb_destroy_window(FConn, window);
    CheckNoError("DestroyWindow");
}

void XcbCanvas::HideCursor()
{
    const uint32_t pixmap = xcb_generate_id(FConn);
    xcb_create_pixmap(FConn, 1, pixmap, Root(), 1, 1);
    const uint32_t gc = xcb_generate_id(FConn);
    const uint32_t clear = 0;
    xcb_create_gc(FConn, gc, pixmap, XCB_GC_FOREGROUND, &clear);
    const xcb_rectangle_t all { 0, 0, 1, 1 };
    xcb_poly_fill_rectangle(FConn, pixmap, gc, 1, &all);
    const uint32_t cursor = xcb_generate_id(FConn);
    // A mask of zeros: the pointer shows nothing wherever it is.
    xcb_create_cursor(FConn, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
    xcb_change_window_attributes(FConn, Root(), XCB_CW_CURSOR, &cursor);
    xcb_free_cursor(FConn, cursor);
    xcb_free_gc(FConn, gc);
    xcb_free_pixmap(FConn, pixmap);
    CheckNoError("HideCursor");
}

void XcbCanvas::WarpPointer(int x, int y)
{
    xcb_warp_pointer(FConn, XCB_NONE, Root(), 0, 0, 0, 0, static_cast<int16_t>(x), static_cast<int16_t>(y));
    CheckNoError("WarpPointer");
}

std::pair<int, int> XcbCanvas::PointerPosition()
{
    auto reply = Owned(xcb_query_pointer_reply(FConn, xcb_query_pointer(FConn, Root()), nullptr));
    if (!reply)
        throw std::runtime_error("QueryPointer failed");
    return { reply->root_x, reply->root_y };
}

// ---------------------------------------------------------------------------------------------
// Reading back

ScreenImage XcbCanvas::Grab()
{
    ScreenImage image;
    image.width = Width();
    image.height = Height();
    auto reply = Owned(xcb_get_image_reply(FConn,
        xcb_get_image(FConn, XCB_IMAGE_FORMAT_Z_PIXMAP, Root(), 0, 0, image.width, image.height, ~0u),
        nullptr));
    if (!reply)
        Fail("GetImage of the root window failed");
    const size_t rowBytes = RowBytes(image.width, FBitsPerPixel, FScanlinePad);
    const uint8_t* data = xcb_get_image_data(reply.get());
    if (static_cast<size_t>(xcb_get_image_data_length(reply.get())) < rowBytes * image.height)
        Fail("GetImage returned fewer bytes than the screen holds");

    const size_t count = static_cast<size_t>(image.width) * image.height;
    image.rgb.resize(count);
    if (FIndexed) {
        const std::array<Rgb, 256> table = Colormap();
        image.indices.resize(count);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const uint8_t index = data[rowBytes * y + x];
                image.indices[static_cast<size_t>(y) * image.width + x] = index;
                image.rgb[static_cast<size_t>(y) * image.width + x] = table[index];
            }
        }
        return image;
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, data + rowBytes * y + 4 * x, 4);
            image.rgb[static_cast<size_t>(y) * image.width + x] = ColourOfTrueColorPixel(pixel);
        }
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// The test picture

Rgb SnapToBgr233(Rgb colour)
{
    // Levels k * 65535 / (levels - 1), compared by their high byte.
    auto snap = [](uint8_t component, int levels) {
        const int k = (component * (levels - 1) + 127) / 255;
        return (k * 65535 / (levels - 1)) >> 8;
    };
    return MakeRgb(snap(Red(colour), 8), snap(Green(colour), 8), snap(Blue(colour), 4));
}

namespace {

// Pseudo-glyphs: 5x7 cells whose set pixels come from the glyph number, one pixel wide,
// like small text on a page.
bool GlyphPixel(uint32_t glyph, int gx, int gy)
{
    uint32_t h = glyph * 2654435761u ^ (gx * 40503u) ^ (gy * 9973u);
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return (h & 3) == 0 || (gx == 0 && (glyph & 1)) || (gy == 6 && (glyph & 2));
}

std::vector<Rgb> TextBlock(int width, int height, const TestPicture& picture, XorShift& random)
{
    const Rgb paper = picture.Quantise(0xffffff);
    const Rgb ink = picture.Quantise(0x000000);
    const Rgb link = picture.Quantise(0x0000ff);
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height, paper);
    const int cellW = 6, cellH = 10;
    for (int top = 2; top + cellH <= height; top += cellH) {
        const bool underlined = (random.Next() % 4) == 0;
        for (int left = 2; left + cellW <= width; left += cellW) {
            const uint32_t glyph = random.Next() % 97;
            if (glyph % 11 == 0)
                continue; // a space
            const Rgb colour = underlined ? link : ink;
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (GlyphPixel(glyph, gx, gy))
                        pixels[static_cast<size_t>(top + gy) * width + left + gx] = colour;
            if (underlined)
                for (int gx = 0; gx < cellW; ++gx)
                    pixels[static_cast<size_t>(top + 8) * width + left + gx] = link;
        }
    }
    return pixels;
}

std::vector<Rgb> PhotoBlock(int width, int height, const TestPicture& picture, XorShift& random)
{
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random.Next() % 33) - 16;
            const int r = Clamp255(x * 255 / std::max(1, width - 1) + noise);
            const int g = Clamp255(y * 255 / std::max(1, height - 1) - noise);
            const int b = Clamp255((x + y) * 255 / std::max(1, width + height - 2) + noise / 2);
            pixels[static_cast<size_t>(y) * width + x] = picture.Quantise(MakeRgb(r, g, b));
        }
    }
    return pixels;
}

std::vector<Rgb> PatternBlock(int width, int height, const TestPicture& picture)
{
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool check = ((x / 8) + (y / 8)) % 2 == 0;
            const Rgb base = check ? MakeRgb(x * 4, 0x80, y * 4) : MakeRgb(0xff, y * 3, x * 3);
            const bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            pixels[static_cast<size_t>(y) * width + x] = picture.Quantise(border ? 0xffff00 : base);
        }
    }
    return pixels;
}

} // namespace

void DrawTestPicture(XcbCanvas& canvas, const TestPicture& picture)
{
    const int w = canvas.Width();
    const int h = canvas.Height();
    const int halfW = w / 2;
    const int halfH = h / 2;
    XorShift random(picture.Seed);
    const auto q = picture.Quantise;

    canvas.FillRect(0, 0, w, h, q(0x3060a0)); // desktop background

    // Large solid areas of distinct colours, with a few small blocks of solid colour on them.
    canvas.FillRect(0, 0, halfW / 2, halfH / 2, q(0xff0000));
    canvas.FillRect(halfW / 2, 0, halfW - halfW / 2, halfH / 2, q(0x00ff00));
    canvas.FillRect(0, halfH / 2, halfW / 2, halfH - halfH / 2, q(0x0000ff));
    canvas.FillRect(halfW / 2, halfH / 2, halfW - halfW / 2, halfH - halfH / 2, q(0x808080));
    for (int i = 0; i < 12; ++i) {
        const int x = static_cast<int>(random.Next() % std::max(1, halfW - 20));
        const int y = static_cast<int>(random.Next() % std::max(1, halfH - 20));
        canvas.FillRect(x, y, 3 + i, 2 + i / 2, q(random.Next() & 0xffffff));
    }

    // Text-like detail: one-pixel strokes on a light page.
    canvas.PutImage(halfW, 0, w - halfW, halfH, TextBlock(w - halfW, halfH, picture, random));

    // Photo-like: a gradient with noise, where no two neighbours are alike.
    canvas.PutImage(0, halfH, halfW, h - halfH, PhotoBlock(halfW, h - halfH, picture, random));
    canvas.Sync();
}

uint32_t CreatePatternWindow(
    XcbCanvas& canvas, int x, int y, int width, int height, const TestPicture& picture)
{
    const uint32_t window = canvas.CreateWindow(x, y, width, height, picture.Quantise(0x000000));
    canvas.PutImage(0, 0, width, height, PatternBlock(width, height, picture), window);
    canvas.Sync();
    return window;
}

// ---------------------------------------------------------------------------------------------
// Comparison

std::string PictureDifference::Describe() const
{
    if (count == 0)
        return "pictures are equal";
    std::ostringstream text;
    text << count << " pixels differ; first at (" << firstX << ", " << firstY << "): server 0x" << std::hex
         << expected << ", client 0x" << actual << std::dec << "; mean error " << meanError << " of 255";
    return text.str();
}

namespace {

Rgb ClientPixel(const ImageView& client, int x, int y)
{
    const uint8_t* row = client.bits + client.stride * y;
    if (client.indexed) {
        const TRGBQuad& entry = client.colorTable[row[x]];
        return MakeRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
    }
    uint32_t pixel;
    std::memcpy(&pixel, row + 4 * static_cast<size_t>(x), 4);
    return pixel & 0xffffff;
}

} // namespace

PictureDifference ComparePictures(const ScreenImage& server, const ImageView& client)
{
    PictureDifference difference;
    if (client.empty() || client.width != server.width || client.height != server.height
        || (client.indexed && !client.colorTable)) {
        difference.count = static_cast<size_t>(server.width) * server.height;
        difference.meanError = 255;
        return difference;
    }
    uint64_t errorSum = 0;
    for (int y = 0; y < server.height; ++y) {
        for (int x = 0; x < server.width; ++x) {
            const Rgb expected = server.At(x, y);
            const Rgb actual = ClientPixel(client, x, y);
            if (expected == actual)
                continue;
            for (int shift = 0; shift < 24; shift += 8)
                errorSum += uint64_t(std::abs(int(expected >> shift & 0xFF) - int(actual >> shift & 0xFF)));
            if (difference.count++ == 0) {
                difference.firstX = x;
                difference.firstY = y;
                difference.expected = expected;
                difference.actual = actual;
            }
        }
    }
    difference.meanError = double(errorSum) / (3.0 * double(server.width) * double(server.height));
    return difference;
}

} // namespace zarn::test
