// X11 key events as the server receives them: each row feeds what Qt reports on xcb (keysym,
// keycode, text, modifiers) through the keyboard layer and the engine's translation, and reads
// the KeyEvents off the wire. Also the pointer position a mouse event becomes.

#include <QKeyEvent>
#include <QtTest>

#include "protocol/UpdateCycleTestHelpers.h"
#include "ui/KeyboardX11.h"
#include "ui/PointerInput.h"

using namespace zarn;

namespace {

struct Stroke {
    uint32_t keySym;
    uint32_t keyCode;
    QString text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    bool down = true;
    bool autoRepeat = false;
};

struct Sent {
    bool down;
    uint32_t keySym;
    bool operator==(const Sent&) const = default;
};

// What the engine wrote for each stroke, in order.
std::vector<Sent> Type(const std::vector<Stroke>& strokes, TKeyboardX11& keyboard)
{
    test::ReadySession session(4, 4);
    session.proto->Keyboard = &keyboard;
    for (const Stroke& s : strokes) {
        QKeyEvent event(s.down ? QEvent::KeyPress : QEvent::KeyRelease, 0, s.modifiers, s.keyCode, s.keySym,
            0, s.text, s.autoRepeat);
        if (const TMappedKey* key = keyboard.Take(event, ShiftStateOf(s.modifiers)))
            SendMappedKey(*session.proto, *key, s.down);
    }
    std::vector<Sent> sent;
    const std::vector<uint8_t> wire = session.wire->Written();
    for (size_t at = 0; at + 8 <= wire.size(); at += 8)
        sent.push_back({ wire[at + 1] == 1,
            uint32_t(wire[at + 4] << 24 | wire[at + 5] << 16 | wire[at + 6] << 8 | wire[at + 7]) });
    return sent;
}

QString Printable(const std::vector<Sent>& sent)
{
    QStringList items;
    for (const Sent& s : sent)
        items << QStringLiteral("%1%2")
                     .arg(s.keySym, 0, 16)
                     .arg(s.down ? QStringLiteral("v") : QStringLiteral("^"));
    return items.join(QLatin1Char(' '));
}

constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kShift = Qt::ShiftModifier;

} // namespace

class KeyboardX11Test : public QObject {
    Q_OBJECT

private slots:
    void pressesMapAndSendByLayout()
    {
        const struct {
            const char* what;
            Stroke stroke;
            uint16_t virtualKey;
            std::string text;
            uint32_t sent;
        } rows[] = {
            { "a", { 0x61, 38, "a" }, 0x41, "a", 0x61 },
            { "Shift+z", { 0x5A, 52, "Z", kShift }, 0x5A, "Z", 0x5A },
            { "Shift+1", { 0x21, 10, "!", kShift }, 0x31, "!", 0x21 },
            { "Control+c", { 0x63, 54, "\x03", kCtrl }, 0x43, "c", 0x43 },
            { "Control+minus keeps its keysym", { 0x2D, 20, "\x1f", kCtrl }, 0xBD, "-", 0x2D },
            { "right Control", { 0xFFE4, 105, "", kCtrl }, 0x11, "", 0xFFE4 },
            { "F5", { 0xFFC2, 71, "" }, 0x74, "", 0xFFC2 },
            { "F13 is no character", { 0xFFCA, 191, "" }, 0x7C, "", 0xFFCA },
            { "keypad 1, Num Lock on", { 0xFFB1, 87, "1" }, 0x61, "1", 0x31 },
            { "keypad 1, Num Lock off", { 0xFF9C, 87, "" }, 0x23, "", 0xFF57 },
            { "Control+keypad 1", { 0xFFB1, 87, "1", kCtrl }, 0x61, "1", 0xFFB1 },
            { "de: u umlaut", { 0xFC, 34, QStringLiteral("ü") }, 0xDF, "\xFC", 0xFC },
            { "de: AltGr", { 0xFE03, 108, "" }, 0, "", 0xFE03 },
            { "de: AltGr+q", { 0x40, 24, "@" }, 0x32, "@", 0x40 },
            { "de: AltGr+e", { 0x20AC, 26, QStringLiteral("€") }, 0, "", 0x20AC },
            { "de: dead circumflex", { 0xFE52, 49, "" }, 0, "", 0xFE52 },
            { "ru: ef", { 0x6C6, 38, QStringLiteral("ф") }, 0, "", 0x6C6 },
            { "ru: Control+es is Control+C", { 0x6D3, 54, "\x03", kCtrl }, 0x43, "", 0x43 },
            { "Unicode keysym", { 0x1000429, 38, QStringLiteral("Щ") }, 0, "", 0x1000429 },
        };
        for (const auto& row : rows) {
            const TMappedKey mapped = MapX11Key(row.stroke.keySym, row.stroke.keyCode, row.stroke.text,
                row.stroke.modifiers.testFlag(Qt::ControlModifier));
            QVERIFY2(mapped.virtualKey == row.virtualKey, row.what);
            QVERIFY2(mapped.text == row.text, row.what);
            TKeyboardX11 keyboard;
            const std::vector<Sent> sent = Type({ row.stroke }, keyboard);
            QVERIFY2(sent == std::vector<Sent>({ { true, row.sent } }),
                qPrintable(QString::fromLatin1(row.what) + QStringLiteral(": ") + Printable(sent)));
        }
    }

    void sequencesKeepPressAndReleaseInStep()
    {
        const struct {
            const char* what;
            std::vector<Stroke> strokes;
            std::vector<Sent> sent;
        } rows[] = {
            { "held key: a press per repetition, one release",
                { { 0x61, 38, "a" }, { 0x61, 38, "a", {}, false, true }, { 0x61, 38, "a", {}, true, true },
                    { 0x61, 38, "a", {}, false, true }, { 0x61, 38, "a", {}, true, true },
                    { 0x61, 38, "a", {}, false } },
                { { true, 0x61 }, { true, 0x61 }, { true, 0x61 }, { false, 0x61 } } },
            { "AltGr let go before E releases the euro sign",
                { { 0xFE03, 108, "" }, { 0x20AC, 26, QStringLiteral("€") }, { 0xFE03, 108, "", {}, false },
                    { 0x65, 26, "e", {}, false } },
                { { true, 0xFE03 }, { true, 0x20AC }, { false, 0xFE03 }, { false, 0x20AC } } },
            { "Control pressed while A is held: A still releases the keysym it pressed",
                { { 0x61, 38, "a" }, { 0xFFE3, 37, "" }, { 0x61, 38, "\x01", kCtrl, false } },
                { { true, 0x61 }, { true, 0xFFE3 }, { false, 0x61 } } },
        };
        for (const auto& row : rows) {
            TKeyboardX11 keyboard;
            const std::vector<Sent> sent = Type(row.strokes, keyboard);
            QVERIFY2(sent == row.sent,
                qPrintable(QString::fromLatin1(row.what) + QStringLiteral(": ") + Printable(sent)));
        }
    }

    void pointerPositionsScaleAndStayOnTheFramebuffer()
    {
        const struct {
            QPointF position;
            QSize panel, framebuffer;
            uint16_t x, y;
        } rows[] = {
            { { 10, 20 }, { 100, 80 }, { 100, 80 }, 10, 20 },
            { { 199.5, 99.9 }, { 200, 100 }, { 100, 50 }, 99, 49 },
            { { -3, -1 }, { 100, 80 }, { 100, 80 }, 0, 0 },
            { { 150, 400 }, { 100, 80 }, { 100, 80 }, 99, 79 },
        };
        for (const auto& row : rows) {
            const TFramebufferPoint point = FramebufferPoint(row.position, row.panel, row.framebuffer);
            QCOMPARE(point.x, row.x);
            QCOMPARE(point.y, row.y);
        }
    }
};

QTEST_MAIN(KeyboardX11Test)
#include "KeyboardX11Test.moc"
