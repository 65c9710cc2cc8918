#pragma once
// Drawing on a real X display and reading it back, so that end-to-end tests can put a known
// picture on a VNC server's screen and compare the client's framebuffer with the server's own
// idea of that screen (the root window's pixels).
//
//     XcbCanvas canvas(":42");
//     canvas.HideCursor();                        // servers paint the pointer into updates
//     DrawTestPicture(canvas, TestPicture{});
//     ScreenImage screen = canvas.Grab();        // 0x00RRGGBB per pixel, top row first
//
// Colours are given as 0x00RRGGBB. On a TrueColor display they become pixel values through
// the root visual's masks; on an 8-bit PseudoColor display each colour gets a read-only cell
// in the default colormap (allocated once, then cached), and Grab turns indices back into
// colours through that colormap.
//
// Every failure (no display, a refused request, an unsupported visual) throws
// std::runtime_error with the reason: a test that cannot draw must say why, not compare noise.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/ImageView.h"

struct xcb_connection_t;
struct xcb_screen_t;

namespace zarn::test {

using Rgb = uint32_t; // 0x00RRGGBB

struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> rgb; // width * height, top row first
    std::vector<uint8_t> indices; // on an indexed display: the raw colormap indices

    Rgb At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

class XcbCanvas {
public:
    explicit XcbCanvas(const std::string& display);
    ~XcbCanvas();
    XcbCanvas(const XcbCanvas&) = delete;
    XcbCanvas& operator=(const XcbCanvas&) = delete;

    int Width() const;
    int Height() const;
    int Depth() const;
    bool Indexed() const { return FIndexed; }
    uint32_t Root() const;

    // The pixel value that shows `colour` on this display.
    uint32_t PixelFor(Rgb colour);

    // Drawing on a window (the root unless given). Nothing is guaranteed visible before Sync.
    void FillRect(int x, int y, int width, int height, Rgb colour, std::optional<uint32_t> window = {});
    // `colours` holds width * height pixels, top row first.
    void PutImage(int x, int y, int width, int height, const std::vector<Rgb>& colours,
        std::optional<uint32_t> window = {});

    // An unmanaged child of the root, mapped, filled with `background`.
    uint32_t CreateWindow(int x, int y, int width, int height, Rgb background);
    void MoveWindow(uint32_t window, int x, int y);
    void DestroyWindow(uint32_t window);

    // Gives the root window an invisible pointer: servers that paint the pointer into their
    // updates would otherwise differ from the root's pixels around it.
    void HideCursor();
    // Puts the pointer at a position of the root window.
    void WarpPointer(int x, int y);
    // Where the pointer is on the root window.
    std::pair<int, int> PointerPosition();

    // Round trip: every request sent so far has been executed by the server.
    void Sync();

    // The root window's pixels, as colours.
    ScreenImage Grab();
    // The default colormap's 256 entries as colours (8 high bits of each component); only on
    // an indexed display.
    std::array<Rgb, 256> Colormap();

private:
    void PutImageRows(uint32_t drawable, int x, int y, int width, int rows, const uint8_t* data);
    std::vector<uint8_t> PackPixels(int width, int height, const std::vector<Rgb>& colours);
    uint32_t GcFor(uint32_t drawable);
    uint32_t TrueColorPixel(Rgb colour) const;
    Rgb ColourOfTrueColorPixel(uint32_t pixel) const;
    uint32_t AllocateCell(Rgb colour);
    void CheckNoError(const char* what);

    xcb_connection_t* FConn = nullptr;
    xcb_screen_t* FScreen = nullptr;
    bool FIndexed = false;
    int FBitsPerPixel = 0;
    int FScanlinePad = 0;
    uint32_t FRedMask = 0, FGreenMask = 0, FBlueMask = 0;
    uint32_t FGc = 0;
    uint32_t FGcDrawable = 0;
    std::map<Rgb, uint32_t> FCells; // colour -> allocated colormap cell
};

// The picture the live tests draw: every kind of content the encodings treat differently.
struct TestPicture {
    // Colours the display can show exactly; identity on a TrueColor display.
    std::function<Rgb(Rgb)> Quantise = [](Rgb c) { return c; };
    uint32_t Seed = 1;
};

// Fills the whole root: large solid areas, 1-pixel text-like detail, a gradient with noise
// (photo-like), and small solid blocks on a busy background. Returns nothing it could fail on:
// drawing errors throw.
void DrawTestPicture(XcbCanvas& canvas, const TestPicture& picture);

// A window with its own pattern, for moves that the server can send as CopyRect.
uint32_t CreatePatternWindow(
    XcbCanvas& canvas, int x, int y, int width, int height, const TestPicture& picture);

// The nearest colour of the 3-3-2 lattice (8 levels of red and green, 4 of blue, each spread
// over 0..65535 and taken to its high byte) that servers use for colour-map clients.
Rgb SnapToBgr233(Rgb colour);

// Where two pictures differ.
struct PictureDifference {
    size_t count = 0; // differing pixels; 0 = equal
    double meanError = 0; // mean absolute difference of a colour component, 0..255
    int firstX = -1, firstY = -1;
    Rgb expected = 0, actual = 0;
    std::string Describe() const;
};

// Compares the client's picture (32-bit pixels or indices through its colour table) with the
// server's screen, pixel for pixel, on the low 24 bits. A size mismatch counts every pixel.
PictureDifference ComparePictures(const ScreenImage& server, const ImageView& client);

} // namespace zarn::test
