// The picture's layout on pnlClient: where it lands, which panel area a change repaints, which
// server pixel a position hits. Run twice: at a device pixel ratio of 1 and under
// QT_SCALE_FACTOR=2, where the panel must still show one server pixel per device pixel.

#include <random>

#include <QBackingStore>
#include <QtTest>

#include "ui/ClientPanel.h"
#include "ui/PictureGeometry.h"

using namespace zarn;

namespace {

constexpr auto Aspect = TPictureFit::Aspect;
constexpr auto Stretch = TPictureFit::Stretch;

struct Layout {
    QSize framebuffer, panel;
    double ratio;
    TPictureFit fit;
    QRect target; // device pixels
};

const Layout kLayouts[] = {
    { { 1600, 1200 }, { 800, 600 }, 1, Aspect, { 0, 0, 800, 600 } },
    { { 1600, 1200 }, { 800, 580 }, 1, Aspect, { 13, 0, 773, 580 } }, // bands left and right
    { { 1280, 800 }, { 795, 580 }, 1, Aspect, { 0, 41, 795, 497 } },  // bands above and below
    { { 800, 600 }, { 1280, 1024 }, 1, Aspect, { 0, 32, 1280, 960 } }, // enlarged
    { { 1600, 1200 }, { 800, 600 }, 2, Aspect, { 0, 0, 1600, 1200 } }, // fits one to one
    { { 1600, 1200 }, { 400, 300 }, 2, Aspect, { 0, 0, 800, 600 } },
    { { 1001, 601 }, { 501, 301 }, 2, Stretch, { 0, 0, 1001, 601 } }, // one-to-one size, odd
    { { 1000, 750 }, { 667, 500 }, 1.5, Stretch, { 0, 0, 1000, 750 } },
    { { 1100, 1100 }, { 1000, 1000 }, 1.1, Stretch, { 0, 0, 1100, 1100 } },
    { { 2, 2 }, { 40, 20 }, 1, Stretch, { 0, 0, 40, 20 } },
    { { 640, 480 }, { 800, 600 }, 2, Stretch, { 0, 0, 1600, 1200 } },
};

// The device pixels the window system holds for a top-level panel (the offscreen platform's
// grabWindow cuts a scaled window to its logical size).
QImage OnScreen(QWidget& panel)
{
    return *static_cast<QImage*>(panel.backingStore()->paintDevice());
}

// Pixels with a channel off by more than `tolerance`; -1 for different sizes.
int Differences(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            count += std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance
                || std::abs(qBlue(p) - qBlue(q)) > tolerance;
        }
    return count;
}

} // namespace

class PictureGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void layoutsAndPointerPositionsBothWays()
    {
        for (const Layout& row : kLayouts) {
            const TPictureGeometry geometry(row.framebuffer, row.panel, row.ratio, row.fit);
            const QString name = QStringLiteral("%1x%2 in %3x%4 at %5").arg(row.framebuffer.width())
                .arg(row.framebuffer.height()).arg(row.panel.width()).arg(row.panel.height()).arg(row.ratio);
            QVERIFY2(geometry.Target() == row.target, qPrintable(name));
            QCOMPARE(geometry.OneToOne(), row.target.size() == row.framebuffer);
            if (row.fit == Stretch && geometry.OneToOne())
                QCOMPARE(TPictureGeometry::OneToOnePanelSize(row.framebuffer, row.ratio), row.panel);
            // Server pixel -> the centre of its panel area -> the same server pixel.
            const double sx = double(row.target.width()) / row.framebuffer.width();
            const double sy = double(row.target.height()) / row.framebuffer.height();
            for (const QPoint pixel : { QPoint(0, 0), QPoint(row.framebuffer.width() - 1, row.framebuffer.height() - 1),
                     QPoint(row.framebuffer.width() / 3, row.framebuffer.height() / 2) }) {
                const QPointF position((row.target.x() + (pixel.x() + 0.5) * sx) / row.ratio,
                    (row.target.y() + (pixel.y() + 0.5) * sy) / row.ratio);
                QVERIFY2(geometry.FramebufferPixelAt(position) == pixel, qPrintable(name));
            }
            // Outside the picture: the nearest edge pixel.
            QCOMPARE(geometry.FramebufferPixelAt(QPointF(-50, -1e9)), QPoint(0, 0));
            QCOMPARE(geometry.FramebufferPixelAt(QPointF(1e9, row.panel.height() + 5)),
                QPoint(row.framebuffer.width() - 1, row.framebuffer.height() - 1));
        }
        QCOMPARE(TPictureGeometry(QSize(1600, 1200), QSize(800, 600), 1, Aspect).FramebufferPixelAt(QPointF(400, 300)),
            QPoint(800, 600));
        // A device pixel of a HiDPI panel is one server pixel, half a logical pixel.
        QCOMPARE(TPictureGeometry(QSize(1600, 1200), QSize(800, 600), 2, Stretch).FramebufferPixelAt(QPointF(100.25, 50.75)),
            QPoint(200, 101));
    }

    void changedRectanglesMapToPanelAreas()
    {
        const struct {
            QSize framebuffer, panel;
            double ratio;
            TPictureFit fit;
            QRect changed, area; // framebuffer pixels, logical panel pixels
        } rows[] = {
            { { 64, 48 }, { 64, 48 }, 1, Stretch, { 10, 20, 3, 4 }, { 10, 20, 3, 4 } }, // exact
            { { 64, 48 }, { 32, 24 }, 2, Stretch, { 11, 20, 3, 4 }, { 5, 10, 2, 2 } },  // whole logical pixels
            { { 1600, 1200 }, { 800, 600 }, 1, Aspect, { 100, 100, 10, 10 }, { 49, 49, 7, 7 } }, // + a pixel
            { { 1600, 1200 }, { 800, 580 }, 1, Aspect, { 0, 0, 1, 1 }, { 13, 0, 2, 2 } }, // within the picture
            { { 800, 600 }, { 1600, 1200 }, 1, Aspect, { 10, 10, 1, 1 }, { 18, 18, 6, 6 } }, // the filter's reach
            { { 2, 2 }, { 40, 20 }, 1, Stretch, { 1, 1, 1, 1 }, { 19, 9, 21, 11 } },
            { { 64, 48 }, { 64, 48 }, 1, Aspect, { 70, 0, 5, 5 }, {} }, // off the framebuffer
        };
        for (const auto& row : rows)
            QCOMPARE(TPictureGeometry(row.framebuffer, row.panel, row.ratio, row.fit).PanelAreaOf(row.changed), row.area);
    }

    void repaintedChangesMatchAFullPaint_data()
    {
        QTest::addColumn<bool>("scaled");
        QTest::addColumn<QSize>("panelSize");
        QTest::newRow("one to one") << false << QSize();
        QTest::newRow("scaled down") << true << QSize(45, 31);
        QTest::newRow("scaled up") << true << QSize(150, 101);
    }

    void repaintedChangesMatchAFullPaint()
    {
        QFETCH(bool, scaled);
        QFETCH(QSize, panelSize);
        std::vector<uint32_t> pixels(64 * 48);
        std::mt19937 random(11);
        for (uint32_t& pixel : pixels)
            pixel = random() & 0xFFFFFF;
        const QImage picture(reinterpret_cast<const uchar*>(pixels.data()), 64, 48, QImage::Format_RGB32);
        ImageView view { reinterpret_cast<const uint8_t*>(pixels.data()), 64, 48, 64 * 4 };
        TClientPanel panel;
        const double ratio = panel.devicePixelRatioF();
        panel.resize(scaled ? panelSize : TPictureGeometry::OneToOnePanelSize(QSize(64, 48), ratio));
        panel.SetScaleToWindow(scaled);
        panel.ShowPicture([&] { return view; });
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCoreApplication::processEvents();
        if (!scaled) // sharp: each server pixel is one device pixel of the screen
            QCOMPARE(Differences(OnScreen(panel).copy(0, 0, 64, 48), picture, 0), 0);
        for (int step = 0; step < 40; ++step) {
            const int x = int(random() % 64), y = int(random() % 48), w = 1 + int(random() % 4);
            for (int row = y; row < std::min(y + w, 48); ++row)
                for (int col = x; col < std::min(x + w, 64); ++col)
                    pixels[size_t(row * 64 + col)] = random() & 0xFFFFFF;
            TChangedRegion changed;
            changed.Add(x, y, w, w, 64, 48);
            panel.RepaintChanged(changed);
        }
        // Against a full paint of the final picture. The bilinear filter may round a channel one
        // way or the other depending on where its span starts; a stale pixel is far off.
        QCOMPARE(Differences(OnScreen(panel), panel.grab().toImage(), 2), 0);
        if (scaled) { // smooth: a scaled pixel mixes its neighbours, it is seldom one of them
            const QSet<QRgb> sources(pixels.begin(), pixels.end());
            const QImage shown = OnScreen(panel);
            int copied = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    copied += sources.contains(shown.pixel(x, y) & 0xFFFFFF);
            QVERIFY2(copied < shown.width() * shown.height() / 4, qPrintable(QString::number(copied)));
        }
    }
};

QTEST_MAIN(PictureGeometryTest)
#include "PictureGeometryTest.moc"
