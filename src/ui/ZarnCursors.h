#pragma once
// The three pointer shapes the viewer carries, drawn in code: monochrome 32 x 32, black on
// transparent, each with its hot spot. The Cursor setting chooses which one pnlClient shows.

#include <array>
#include <cstdint>

#include <QCursor>

namespace zarn {

enum class TCursorShape { Dot, Crosshair, Fugly };

struct TCursorPicture {
    static constexpr int kSize = 32;
    std::array<uint32_t, kSize> rows {}; // bit x of rows[y] set: pixel (x, y) is black
    int hotX = 0;
    int hotY = 0;

    bool Pixel(int x, int y) const;
    void Set(int x, int y);
    int Count() const; // black pixels in the whole picture
};

TCursorPicture CursorPicture(TCursorShape shape);
QCursor MakeCursor(TCursorShape shape);

// The pointer over the remote picture for a value of the Cursor setting: 0 the standard arrow,
// 1 "Dot", 2 "Crosshair", 3 none, 4 "Fugly". Values outside 0..4 give the standard arrow.
class TCursorTable {
public:
    TCursorTable();
    QCursor ForSetting(int cursorSetting) const;

private:
    QCursor FDot;
    QCursor FCrosshair;
    QCursor FFugly;
};

} // namespace zarn
