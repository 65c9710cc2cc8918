#include "protocol/ChangedRegion.h"

#include <algorithm>
#include <cstdint>

namespace zarn {

namespace {

bool Contains(const TChangedRect& outer, const TChangedRect& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width
        && inner.y + inner.height <= outer.y + outer.height;
}

TChangedRect Bounds(const TChangedRect& a, const TChangedRect& b)
{
    const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
    return { left, top, right - left, bottom - top };
}

} // namespace

void TChangedRegion::Add(int x, int y, int width, int height, int limitWidth, int limitHeight)
{
    // 64-bit edges, so no sum of two ints can overflow.
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t(x) + width, limitWidth);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + height, limitHeight);
    if (left >= right || top >= bottom)
        return;
    const TChangedRect rect { int(left), int(top), int(right - left), int(bottom - top) };
    for (size_t i = 0; i < FCount; ++i) {
        if (Contains(FRects[i], rect))
            return;
        if (Contains(rect, FRects[i])) {
            FRects[i] = rect;
            return;
        }
    }
    if (FCount == kMaxRects)
        CollapseToBounds();
    FRects[FCount++] = rect;
}

void TChangedRegion::CollapseToBounds()
{
    TChangedRect bounds = FRects[0];
    for (size_t i = 1; i < FCount; ++i)
        bounds = Bounds(bounds, FRects[i]);
    FRects[0] = bounds;
    FCount = 1;
}

} // namespace zarn
