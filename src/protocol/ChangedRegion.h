#pragma once
// TChangedRegion: the part of the framebuffer that one update cycle wrote, so the paint step can
// draw only that. It is a short list of rectangles, each clipped to the framebuffer; it never
// allocates (a fixed array), and when more rectangles arrive than it holds it falls back to
// their bounding box, which is still correct, only larger. A rectangle that lies inside one
// already held adds nothing.

#include <array>
#include <cstddef>
#include <span>

namespace zarn {

struct TChangedRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TChangedRect&) const = default;
};

class TChangedRegion {
public:
    static constexpr size_t kMaxRects = 32;

    // The part of the rectangle that lies inside a framebuffer of limitWidth x limitHeight.
    void Add(int x, int y, int width, int height, int limitWidth, int limitHeight);
    // The whole framebuffer (a colour-map change, a pixel format switch, a new framebuffer).
    void AddAll(int limitWidth, int limitHeight) { Add(0, 0, limitWidth, limitHeight, limitWidth, limitHeight); }
    void Clear() { FCount = 0; }

    bool Empty() const { return FCount == 0; }
    std::span<const TChangedRect> Rects() const { return { FRects.data(), FCount }; }

private:
    void CollapseToBounds();

    std::array<TChangedRect, kMaxRects> FRects {};
    size_t FCount = 0;
};

} // namespace zarn
