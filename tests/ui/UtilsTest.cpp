// The version text, the RFB text conversions, the pointer shapes and the toolbar pictures.

#include <QBitmap>
#include <QImage>
#include <QtTest>

#include "ui/ToolbarPictures.h"
#include "ui/ZarnCursors.h"
#include "ui/ZarnUtils.h"

using namespace zarn;

namespace {

struct Bounds {
    int left = TCursorPicture::kSize, top = TCursorPicture::kSize, right = -1, bottom = -1;
};

Bounds BoundsOf(const TCursorPicture& picture)
{
    Bounds b;
    for (int y = 0; y < TCursorPicture::kSize; ++y)
        for (int x = 0; x < TCursorPicture::kSize; ++x)
            if (picture.Pixel(x, y)) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

} // namespace

class UtilsTest : public QObject {
    Q_OBJECT
private slots:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("release");
        QTest::addColumn<int>("build");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.0.2.15") << 1 << 0 << 2 << 15 << "1.00.02 (015)";
        QTest::newRow("2.10.3.1234") << 2 << 10 << 3 << 1234 << "2.10.03 (1234)";
        QTest::newRow("minor 950 reads 05") << 1 << 950 << 0 << 1 << "1.05.00 (001)";
        QTest::newRow("build 0") << 4 << 1 << 12 << 0 << "4.01.12 (000)";
        QTest::newRow("release 7") << 1 << 2 << 7 << 300 << "1.02.07 (300)";
        QTest::newRow("minor 99 stays two digits") << 10 << 99 << 100 << 5 << "10.99.100 (005)";
        QTest::newRow("largest parts") << 65535 << 65535 << 65535 << 65535 << "65535.56.65535 (65535)";
    }

    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, release);
        QFETCH(int, build);
        QFETCH(QString, expected);
        QCOMPARE(FormatVersionString(uint16_t(major), uint16_t(minor), uint16_t(release), uint16_t(build)),
            expected);
    }

    void rfbTextIsLatin1BothWays()
    {
        std::string everyByte;
        for (int i = 0; i < 256; ++i)
            everyByte.push_back(char(i));
        QCOMPARE(ToRfbText(FromRfbText(everyByte)), everyByte);
        QCOMPARE(FromRfbText("caf\xe9"), QStringLiteral("caf\u00e9"));
        // One "?" per character that Latin-1 cannot hold, also for one outside the 16-bit plane.
        QCOMPARE(
            ToRfbText(QStringLiteral("a\u20acb") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("c")),
            std::string("a?b?c"));
    }

    void dotCursor()
    {
        const TCursorPicture dot = CursorPicture(TCursorShape::Dot);
        QCOMPARE(dot.Count(), 8);
        QVERIFY(!dot.Pixel(1, 1)); // the open centre
        QCOMPARE(dot.hotX, 1);
        QCOMPARE(dot.hotY, 1);
        const Bounds b = BoundsOf(dot);
        QCOMPARE(QRect(b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1), QRect(0, 0, 3, 3));
    }

    void crosshairCursor()
    {
        const TCursorPicture cross = CursorPicture(TCursorShape::Crosshair);
        QCOMPARE(cross.hotX, 5);
        QCOMPARE(cross.hotY, 5);
        QVERIFY(cross.Pixel(5, 5));
        for (const QPoint gap : { QPoint(4, 5), QPoint(6, 5), QPoint(5, 4), QPoint(5, 6) })
            QVERIFY2(!cross.Pixel(gap.x(), gap.y()), "the gap around the centre must stay open");
        for (int i : { 0, 3, 7, 10 }) {
            QVERIFY(cross.Pixel(i, 5));
            QVERIFY(cross.Pixel(5, i));
        }
        QCOMPARE(cross.Count(), 17);
        const Bounds b = BoundsOf(cross);
        QCOMPARE(QRect(b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1), QRect(0, 0, 11, 11));
    }

    void fuglyCursorIsASymmetricSight()
    {
        const TCursorPicture sight = CursorPicture(TCursorShape::Fugly);
        QCOMPARE(sight.hotX, 15);
        QCOMPARE(sight.hotY, 15);
        QVERIFY(sight.Pixel(15, 15));
        const Bounds b = BoundsOf(sight);
        QCOMPARE(QRect(b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1), QRect(0, 0, 31, 31));
        for (int y = 0; y <= 30; ++y)
            for (int x = 0; x <= 30; ++x) {
                QCOMPARE(sight.Pixel(x, y), sight.Pixel(30 - x, y));
                QCOMPARE(sight.Pixel(x, y), sight.Pixel(y, x));
            }
        // The circle crosses the diagonals: not just a cross.
        QVERIFY(sight.Pixel(15 + 8, 15 + 9) || sight.Pixel(15 + 9, 15 + 8) || sight.Pixel(15 + 8, 15 + 8));
        QVERIFY(sight.Pixel(15 + 5, 15 + 5)); // a diagonal stroke
    }

    void cursorBitmapsAreBlackOnTransparent_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("Dot") << int(TCursorShape::Dot);
        QTest::newRow("Crosshair") << int(TCursorShape::Crosshair);
        QTest::newRow("Fugly") << int(TCursorShape::Fugly);
    }

    void cursorBitmapsAreBlackOnTransparent()
    {
        QFETCH(int, shape);
        const TCursorPicture picture = CursorPicture(TCursorShape(shape));
        const QCursor cursor = MakeCursor(TCursorShape(shape));
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.hotSpot(), QPoint(picture.hotX, picture.hotY));
        const QImage bits = cursor.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(bits.size(), QSize(32, 32));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                // A set pixel is black (bit 1) and opaque (mask 1); the rest is transparent.
                const bool black = qGray(bits.pixel(x, y)) < 128;
                const bool opaque = qGray(mask.pixel(x, y)) < 128;
                QCOMPARE(black, picture.Pixel(x, y));
                QCOMPARE(opaque, picture.Pixel(x, y));
            }
    }

    void toolbarPicturesAreDistinct32x32()
    {
        const TToolbarPicture all[]
            = { TToolbarPicture::Connect, TToolbarPicture::Disconnect, TToolbarPicture::Settings,
                  TToolbarPicture::FullScreen, TToolbarPicture::Screenshot, TToolbarPicture::About };
        QList<QImage> images;
        for (const TToolbarPicture which : all) {
            const QImage image = ToolbarPicture(which).toImage();
            QCOMPARE(image.size(), QSize(32, 32));
            int opaque = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(opaque > 100, "a picture must be clearly visible");
            for (const QImage& other : images)
                QVERIFY(image != other);
            images.append(image);
        }
    }
};

QTEST_MAIN(UtilsTest)
#include "UtilsTest.moc"
