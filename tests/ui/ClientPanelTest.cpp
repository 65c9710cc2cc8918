// pnlClient: the picture drawn from borrowed framebuffer memory, stretched, in both pixel
// modes; the plain background otherwise.

#include <random>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QtTest>

#include "imaging/ImageView.h"
#include "ui/ClientPanel.h"

using namespace zarn;

namespace {

// A framebuffer-like picture: 32-bit pixels (0x00RRGGBB, blue first in memory) or 8-bit indices.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels32;
    std::vector<uint8_t> pixels8;
    TRGBQuad table[256] = {};

    ImageView View32() const
    {
        ImageView view;
        view.bits = reinterpret_cast<const uint8_t*>(pixels32.data());
        view.width = width;
        view.height = height;
        view.stride = size_t(width) * 4;
        return view;
    }

    ImageView View8() const
    {
        ImageView view;
        view.bits = pixels8.data();
        view.width = width;
        view.height = height;
        view.stride = size_t(width);
        view.indexed = true;
        view.colorTable = table;
        return view;
    }
};

// 2 x 2: red, green / blue, white.
Picture Quadrants()
{
    Picture p;
    p.width = 2;
    p.height = 2;
    p.pixels32 = { 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF };
    p.pixels8 = { 1, 2, 3, 4 };
    p.table[1] = { 0, 0, 255, 0 }; // blue, green, red, reserved
    p.table[2] = { 0, 255, 0, 0 };
    p.table[3] = { 255, 0, 0, 0 };
    p.table[4] = { 255, 255, 255, 0 };
    return p;
}

QRgb At(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

// A panel that notes the region of every paint it is asked for.
class RecordingPanel : public TClientPanel {
public:
    std::vector<QRegion> Painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        Painted.push_back(event->region());
        TClientPanel::paintEvent(event);
    }
};

// A top-level panel on screen showing `picture`, its first full paint done.
void ShowOnScreen(RecordingPanel& panel, const Picture& picture, QSize size)
{
    panel.resize(size);
    panel.ShowPicture([&] { return picture.View32(); });
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QCoreApplication::processEvents();
    panel.Painted.clear();
}

// What the window system holds for the panel, not a fresh rendering of it.
QImage OnScreen(const QWidget& panel)
{
    return panel.screen()->grabWindow(panel.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The whole picture drawn afresh at the panel's size: what the screen must show.
QImage Reference(const Picture& picture, QSize size)
{
    QImage reference(size, QImage::Format_RGB32);
    QPainter painter(&reference);
    const QImage source(reinterpret_cast<const uchar*>(picture.pixels32.data()), picture.width, picture.height,
        QImage::Format_RGB32);
    painter.drawImage(QRect(QPoint(0, 0), size), source);
    return reference;
}

} // namespace

class ClientPanelTest : public QObject {
    Q_OBJECT
private slots:
    void backgroundWithoutPicture()
    {
        TClientPanel panel;
        panel.resize(40, 30);
        const QImage shot = panel.grab().toImage();
        QCOMPARE(At(shot, 0, 0), QRgb(0x000020));
        QCOMPARE(At(shot, 39, 29), QRgb(0x000020));
    }

    void picturesStretchToThePanel_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::newRow("true colour") << false;
        QTest::newRow("256 colours") << true;
    }

    void picturesStretchToThePanel()
    {
        QFETCH(bool, indexed);
        const Picture picture = Quadrants();
        TClientPanel panel;
        panel.resize(40, 20);
        panel.ShowPicture([&] { return indexed ? picture.View8() : picture.View32(); });
        const QImage shot = panel.grab().toImage();
        QCOMPARE(At(shot, 0, 0), QRgb(0xFF0000));
        QCOMPARE(At(shot, 19, 9), QRgb(0xFF0000));
        QCOMPARE(At(shot, 20, 0), QRgb(0x00FF00));
        QCOMPARE(At(shot, 39, 9), QRgb(0x00FF00));
        QCOMPARE(At(shot, 0, 10), QRgb(0x0000FF));
        QCOMPARE(At(shot, 39, 19), QRgb(0xFFFFFF));
    }

    void pictureIsBorrowedNotCopied_data() { picturesStretchToThePanel_data(); }

    void pictureIsBorrowedNotCopied()
    {
        QFETCH(bool, indexed);
        Picture picture = Quadrants();
        TClientPanel panel;
        panel.resize(2, 2);
        panel.ShowPicture([&] { return indexed ? picture.View8() : picture.View32(); });
        panel.grab();
        const uint8_t* memory
            = indexed ? picture.pixels8.data() : reinterpret_cast<uint8_t*>(picture.pixels32.data());
        QCOMPARE(panel.WrappedImage().constBits(), memory);
        // A change in the engine's memory shows at the next paint with no new wrapping.
        if (indexed)
            picture.pixels8[0] = 4;
        else
            picture.pixels32[0] = 0xFFFFFF;
        QCOMPARE(At(panel.grab().toImage(), 0, 0), QRgb(0xFFFFFF));
        QCOMPARE(panel.WrappedImage().constBits(), memory);
    }

    void colourMapChangesShowAtTheNextPaint()
    {
        Picture picture = Quadrants();
        TClientPanel panel;
        panel.resize(2, 2);
        panel.ShowPicture([&] { return picture.View8(); });
        QCOMPARE(At(panel.grab().toImage(), 0, 0), QRgb(0xFF0000));
        picture.table[1] = { 0x10, 0x20, 0x30, 0 };
        QCOMPARE(At(panel.grab().toImage(), 0, 0), QRgb(0x302010));
        QCOMPARE(panel.WrappedImage().constBits(), picture.pixels8.data());
    }

    void aMovedFramebufferIsWrappedAfresh()
    {
        Picture first = Quadrants();
        Picture second = Quadrants();
        second.pixels32 = { 0x123456, 0x123456, 0x123456, 0x123456 };
        const Picture* current = &first;
        TClientPanel panel;
        panel.resize(2, 2);
        panel.ShowPicture([&] { return current->View32(); });
        panel.grab();
        current = &second;
        QCOMPARE(At(panel.grab().toImage(), 1, 1), QRgb(0x123456));
        QCOMPARE(panel.WrappedImage().constBits(), reinterpret_cast<const uint8_t*>(second.pixels32.data()));
    }

    void aCycleRepaintsOnlyWhatItChanged()
    {
        Picture picture;
        picture.width = 128;
        picture.height = 96;
        picture.pixels32.assign(size_t(128 * 96), 0x336699);
        RecordingPanel panel;
        ShowOnScreen(panel, picture, QSize(128, 96));

        panel.RepaintChanged(TChangedRegion());
        QVERIFY(panel.Painted.empty());

        TChangedRegion changed;
        changed.Add(32, 16, 16, 16, 128, 96);
        panel.RepaintChanged(changed);
        QCOMPARE(panel.Painted.size(), size_t(1));
        QCOMPARE(panel.Painted[0], QRegion(32, 16, 16, 16));
    }

    void theScreenFollowsManySmallChanges_data()
    {
        QTest::addColumn<QSize>("panelSize");
        QTest::newRow("one to one") << QSize(64, 48);
        QTest::newRow("stretched") << QSize(150, 101);
        QTest::newRow("shrunk") << QSize(45, 31);
    }

    void theScreenFollowsManySmallChanges()
    {
        QFETCH(QSize, panelSize);
        Picture picture;
        picture.width = 64;
        picture.height = 48;
        picture.pixels32.assign(size_t(64 * 48), 0);
        RecordingPanel panel;
        ShowOnScreen(panel, picture, panelSize);

        std::mt19937 random(7);
        for (int step = 0; step < 60; ++step) {
            const int x = int(random() % 64), y = int(random() % 48);
            const int w = 1 + int(random() % 5), h = 1 + int(random() % 5);
            const uint32_t colour = random() & 0xFFFFFF;
            for (int row = y; row < std::min(y + h, 48); ++row)
                for (int col = x; col < std::min(x + w, 64); ++col)
                    picture.pixels32[size_t(row * 64 + col)] = colour;
            TChangedRegion changed;
            changed.Add(x, y, w, h, 64, 48);
            panel.RepaintChanged(changed);
        }
        QCOMPARE(OnScreen(panel), Reference(picture, panelSize));
        for (const QRegion& painted : panel.Painted)
            QVERIFY(painted.boundingRect().width() < panelSize.width() / 2);
    }

    void anEmptyPictureShowsTheBackground()
    {
        TClientPanel panel;
        panel.resize(4, 4);
        panel.ShowPicture([] { return ImageView(); });
        QCOMPARE(At(panel.grab().toImage(), 3, 3), QRgb(0x000020));
    }
};

QTEST_MAIN(ClientPanelTest)
#include "ClientPanelTest.moc"
