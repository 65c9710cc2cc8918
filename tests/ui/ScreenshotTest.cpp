// The Screenshot button against a scripted server, with the save dialog answered by the test:
// which file each chosen name gives, what it holds, and that no temporary file stays behind.

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "imaging/RgbImage.h"
#include "protocol/VNCProto.h"
#include "ui/ZarnApplication.h"
#include "ui/frmZarnVNCWnd.h"
#include "WindowTestSupport.h"

using namespace zarn;
using namespace zarn::test;

namespace {

constexpr int kWidth = 8, kHeight = 4;

// Four colours, one per quarter: few enough for a lossless GIF.
std::vector<uint8_t> QuarterColours(uint32_t seed)
{
    ByteWriter update;
    update.U8(0).U8(0).U16(1).U16(0).U16(0).U16(kWidth).U16(kHeight).S32(0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t rgb = (seed * uint32_t(1 + (x >= kWidth / 2) + 2 * (y >= kHeight / 2))) & 0xFFFFFF;
            update.U8(uint8_t(rgb)).U8(uint8_t(rgb >> 8)).U8(uint8_t(rgb >> 16)).U8(0);
        }
    return update;
}

bool ShowsPicture(const QImage& image, const RgbImage& expected)
{
    if (image.width() != expected.width || image.height() != expected.height)
        return false;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            const uint8_t* rgb = expected.Row(y) + 3 * x;
            if ((image.pixel(x, y) & 0xFFFFFF) != qRgb(rgb[0], rgb[1], rgb[2]) - 0xFF000000u)
                return false;
        }
    return true;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FFolder;
    std::unique_ptr<ScriptedServer> FServer;
    std::unique_ptr<TZarnVNCWnd> FWindow;
    QStringList FErrors;

    QString OutPath(const QString& name) const { return FFolder->filePath(QStringLiteral("out/") + name); }
    QStringList TemporaryFiles() const { return QDir(FFolder->filePath(QStringLiteral("tmp"))).entryList(QDir::Files); }
    QStringList OutputFiles() const { return QDir(FFolder->filePath(QStringLiteral("out"))).entryList(QDir::Files); }

    // Connects to a scripted server that sends the given updates, `pauseMs` apart.
    void ConnectToPictures(const std::vector<std::vector<uint8_t>>& updates, int pauseMs = 0)
    {
        FServer = std::make_unique<ScriptedServer>();
        ScriptNoneHandshake(*FServer, { .width = kWidth, .height = kHeight });
        for (const auto& update : updates)
            FServer->Send(update).Pause(pauseMs);
        FServer->Start();
        ConnectThroughDialog(*FWindow, QStringLiteral("127.0.0.1"), FServer->Port());
        QVERIFY(FWindow->Proto().IsReady());
    }

    RgbImage Framebuffer() const { return ToRgb(FWindow->Proto().CurrentImage()); }

    // Presses Screenshot and answers the save dialog with `name` in the output folder; `whileOpen`
    // runs first. An empty name cancels. False when the dialog did not close as asked.
    bool Shoot(const QString& name, std::function<void()> whileOpen = {})
    {
        QFileDialog* dialog = &FWindow->SavePicDialog();
        bool closed = false;
        WhenModal(dialog, [this, dialog, name, whileOpen, &closed] {
            if (whileOpen)
                whileOpen();
            if (name.isEmpty())
                dialog->reject();
            else {
                // Typed as a user would: selectFile leaves a focused name field alone.
                auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(field != nullptr);
                field->setText(OutPath(name));
                static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own: it adds the suffix
            }
            closed = !dialog->isVisible();
            if (!closed)
                dialog->reject();
        });
        QTest::mouseClick(FWindow->cmdScreenshot, Qt::LeftButton);
        return closed;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(CaptureApplicationErrors(FErrors));
    }

    void init()
    {
        FFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(FFolder->path()).mkpath(QStringLiteral("tmp")));
        QVERIFY(QDir(FFolder->path()).mkpath(QStringLiteral("out")));
        qputenv("TMPDIR", FFolder->filePath(QStringLiteral("tmp")).toLocal8Bit());
        FErrors.clear();
        FWindow = std::make_unique<TZarnVNCWnd>(FFolder->filePath(QStringLiteral("ZarnVNC.ini")).toStdString());
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    }

    void cleanup()
    {
        FWindow.reset();
        FServer.reset();
        FFolder.reset();
    }

    void theChosenNameDecidesTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("exact");
        QTest::newRow("no extension: bitmap") << "shot" << "shot.bmp" << QByteArray("bmp") << true;
        QTest::newRow("capital JPG") << "shot.JPG" << "shot.JPG" << QByteArray("jpeg") << false;
        QTest::newRow("jpeg") << "shot.jpeg" << "shot.jpeg" << QByteArray("jpeg") << false;
        QTest::newRow("gif, four colours") << "shot.gif" << "shot.gif" << QByteArray("gif") << true;
        QTest::newRow("png: nothing") << "shot.png" << "" << QByteArray() << false;
        QTest::newRow("cancelled") << "" << "" << QByteArray() << false;
    }

    void theChosenNameDecidesTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, written);
        QFETCH(QByteArray, format);
        QFETCH(bool, exact);
        ConnectToPictures({ QuarterColours(0x30C050) });
        QTRY_VERIFY(FWindow->Proto().FramesReceived > 0);
        if (!written.isEmpty()) { // an existing file is replaced without a question
            QFile old(OutPath(written));
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        QVERIFY(Shoot(name));
        QVERIFY(FErrors.isEmpty());
        QCOMPARE(TemporaryFiles(), QStringList());
        if (written.isEmpty()) {
            QCOMPARE(OutputFiles(), QStringList());
            return;
        }
        QCOMPARE(OutputFiles(), QStringList { written });
        QImageReader reader(OutPath(written));
        QCOMPARE(reader.format(), format);
        const QImage image = reader.read();
        QCOMPARE(image.size(), QSize(kWidth, kHeight));
        if (exact)
            QVERIFY(ShowsPicture(image, Framebuffer()));
    }

    void thePictureIsTheScreenWhenTheButtonWasPressed()
    {
        ConnectToPictures({ QuarterColours(0x102030), QuarterColours(0x405060) }, 1500);
        QTRY_VERIFY(FWindow->Proto().FramesReceived > 0);
        const RgbImage pressed = Framebuffer();
        // The next picture arrives while the save dialog is open.
        bool changed = false;
        QVERIFY(Shoot(QStringLiteral("shot.bmp"), [this, &changed] {
            changed = QTest::qWaitFor([this] { return FWindow->Proto().FramesReceived > 1; }, 5000);
        }));
        QVERIFY(changed);
        QVERIFY(Framebuffer().pixels != pressed.pixels);
        QVERIFY(ShowsPicture(QImage(OutPath(QStringLiteral("shot.bmp"))), pressed));
    }

    void aTemporaryFolderOfAnyLength()
    {
        const QString deep = FFolder->filePath(QStringLiteral("tmp/") + QString(40, QLatin1Char('d'))
            + QStringLiteral("/") + QString(120, QLatin1Char('e')) + QStringLiteral("/") + QString(120, QLatin1Char('f')));
        QVERIFY(deep.size() > 255 && QDir().mkpath(deep));
        qputenv("TMPDIR", deep.toLocal8Bit());
        ConnectToPictures({ QuarterColours(0x30C050) });
        QTRY_VERIFY(FWindow->Proto().FramesReceived > 0);
        QVERIFY(Shoot(QStringLiteral("shot.bmp")));
        QVERIFY(ShowsPicture(QImage(OutPath(QStringLiteral("shot.bmp"))), Framebuffer()));
        QCOMPARE(QDir(deep).entryList(QDir::Files), QStringList());
    }

    void aFailedConversionIsShownAndCleansUp()
    {
        ConnectToPictures({ QuarterColours(0x30C050) });
        FWindow->AskScreenshotName = [this] { return OutPath(QStringLiteral("missing/shot.gif")); };
        QTest::mouseClick(FWindow->cmdScreenshot, Qt::LeftButton);
        QCOMPARE(FErrors.size(), 1);
        QCOMPARE(TemporaryFiles(), QStringList());
    }

    void thePreviewShowsThePictureFileUnderTheCursor()
    {
        QVERIFY(QImage(800, 400, QImage::Format_RGB32).save(OutPath(QStringLiteral("wide.jpg"))));
        std::ofstream(OutPath(QStringLiteral("notes.txt")).toStdString()) << "text";
        QFileDialog& dialog = FWindow->SavePicDialog();
        dialog.setDirectory(FFolder->filePath(QStringLiteral("out")));
        auto* preview = dialog.findChild<QLabel*>(QStringLiteral("imgPreview"));
        auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(preview && list);
        for (const auto& [name, shown] : { std::pair("wide.jpg", QSize(160, 80)), std::pair("notes.txt", QSize(0, 0)) }) {
            list->setCurrentIndex(static_cast<QFileSystemModel*>(list->model())->index(OutPath(QString::fromLatin1(name))));
            QCOMPARE(preview->pixmap().size(), shown);
        }
    }

    void notConnectedDoesNothing()
    {
        bool asked = false;
        FWindow->AskScreenshotName = [&asked] {
            asked = true;
            return QString();
        };
        QTest::mouseClick(FWindow->cmdScreenshot, Qt::LeftButton);
        QVERIFY(!asked);
        QCOMPARE(TemporaryFiles(), QStringList());
        QVERIFY(FErrors.isEmpty());
    }
};

int main(int argc, char** argv)
{
    TZarnApplication application(argc, argv);
    ScreenshotTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "ScreenshotTest.moc"
