// The picture's layout on pnlClient; run at device pixel ratio 1 and under QT_SCALE_FACTOR=2.

#include <random>

#include <QBackingStore>
#include <QtTest>

#include "ui/ClientPanel.h"

using namespace zarn;

class PictureGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void layoutsPointerPositionsAndChangedAreas()
    {
        constexpr auto Aspect = TPictureFit::Aspect, Stretch = TPictureFit::Stretch;
        const struct {
            QSize framebuffer, panel;
            double ratio;
            TPictureFit fit;
            QRect target, changed, area; // device pixels; a framebuffer rectangle and its logical panel area
            QPointF position; // logical, over the picture or off it
            QPoint pixel;
        } rows[] = {
            { { 1600, 1200 }, { 800, 600 }, 1, Aspect, { 0, 0, 800, 600 }, { 100, 100, 10, 10 }, { 49, 49, 7, 7 }, { 400, 300 }, { 800, 600 } },
            { { 1600, 1200 }, { 800, 580 }, 1, Aspect, { 13, 0, 773, 580 }, { 0, 0, 1, 1 }, { 13, 0, 2, 2 }, { 14, 579.9 }, { 2, 1199 } },
            { { 1280, 800 }, { 795, 580 }, 1, Aspect, { 0, 41, 795, 497 }, { 0, 0, 0, 0 }, {}, { 397.5, 20 }, { 640, 0 } },
            { { 800, 600 }, { 1600, 1200 }, 1, Aspect, { 0, 0, 1600, 1200 }, { 10, 10, 1, 1 }, { 18, 18, 6, 6 }, { 1e9, -1e9 }, { 799, 0 } },
            { { 1600, 1200 }, { 800, 600 }, 2, Aspect, { 0, 0, 1600, 1200 }, { 11, 20, 3, 4 }, { 5, 10, 2, 2 }, { 100.25, 50.75 }, { 200, 101 } },
            { { 1001, 601 }, { 501, 301 }, 2, Stretch, { 0, 0, 1001, 601 }, { 999, 0, 9, 1 }, { 499, 0, 2, 1 }, { 500.75, 300.25 }, { 1000, 600 } },
            { { 1000, 750 }, { 667, 500 }, 1.5, Stretch, { 0, 0, 1000, 750 }, { 3, 3, 1, 1 }, { 2, 2, 1, 1 }, { 2, 666.6 }, { 3, 749 } },
            { { 2, 2 }, { 40, 20 }, 1, Stretch, { 0, 0, 40, 20 }, { 1, 1, 1, 1 }, { 19, 9, 21, 11 }, { 20, 9.9 }, { 1, 0 } },
        };
        for (const auto& row : rows) {
            const TPictureGeometry geometry(row.framebuffer, row.panel, row.ratio, row.fit);
            QCOMPARE(geometry.Target(), row.target);
            QCOMPARE(geometry.PanelAreaOf(row.changed), row.area);
            QCOMPARE(TPictureGeometry::OneToOnePanelSize(row.framebuffer, row.ratio) == row.panel, geometry.OneToOne());
            QCOMPARE(geometry.FramebufferPixelAt(row.position), row.pixel);
        }
    }

    void repaintedChangesMatchAFullPaint()
    {
        for (const QSize panelSize : { QSize(), QSize(45, 31), QSize(150, 101) }) // one to one, shrunk, enlarged
            RepaintChangesOn(panelSize);
    }

private:
    void RepaintChangesOn(QSize panelSize)
    {
        std::mt19937 random(11);
        std::vector<uint32_t> pixels(64 * 48);
        std::generate(pixels.begin(), pixels.end(), [&] { return random() & 0xFFFFFF; });
        const QImage picture(reinterpret_cast<const uchar*>(pixels.data()), 64, 48, QImage::Format_RGB32);
        TClientPanel panel;
        panel.resize(panelSize.isEmpty() ? TPictureGeometry::OneToOnePanelSize({ 64, 48 }, panel.devicePixelRatioF()) : panelSize);
        panel.SetScaleToWindow(!panelSize.isEmpty());
        panel.ShowPicture([&] { return ImageView { picture.constBits(), 64, 48, 64 * 4 }; });
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (int step = 0; step < 40; ++step) { // 3 x 3 squares changed at random
            const int x = int(random() % 62), y = int(random() % 46);
            for (int row = y; row < y + 3; ++row)
                std::fill_n(&pixels[size_t(row * 64 + x)], 3, random() & 0xFFFFFF);
            TChangedRegion changed;
            changed.Add(x, y, 3, 3, 64, 48);
            panel.RepaintChanged(changed);
        }
        // The window's device pixels against a full paint (one to one: the picture), within the filter's
        // rounding; scaled smoothly, they seldom keep any server pixel's own colour.
        const QImage& shown = *static_cast<QImage*>(panel.backingStore()->paintDevice());
        const QImage expected = panelSize.isEmpty() ? picture : panel.grab().toImage();
        QCOMPARE(shown.size(), expected.size());
        const QSet<QRgb> sources(pixels.begin(), pixels.end());
        int differences = 0, copied = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                for (int shift : { 0, 8, 16 })
                    differences += std::abs(int(expected.pixel(x, y) >> shift & 0xFF) - int(shown.pixel(x, y) >> shift & 0xFF)) > 2;
                copied += sources.contains(shown.pixel(x, y) & 0xFFFFFF);
            }
        QCOMPARE(differences, 0);
        QVERIFY(panelSize.isEmpty() || copied < shown.width() * shown.height() / 4);
    }
};

QTEST_MAIN(PictureGeometryTest)
#include "PictureGeometryTest.moc"
