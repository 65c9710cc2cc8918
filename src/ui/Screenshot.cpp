#include "ui/Screenshot.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

#include "imaging/Bmp.h"
#include "imaging/ImageFile.h"
#include "platform/TempFile.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The writers take the framebuffer's own 32-bit layout (blue, green, red, unused).
std::vector<uint32_t> ToPixels32(const RgbImage& image)
{
    std::vector<uint32_t> pixels(size_t(image.width) * size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* rgb = image.Row(y);
        uint32_t* out = pixels.data() + size_t(y) * size_t(image.width);
        for (int x = 0; x < image.width; ++x, rgb += 3)
            out[x] = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
    }
    return pixels;
}

// The target's extension picks the writer, as for every picture the program saves.
void Convert(const std::filesystem::path& bitmap, const std::filesystem::path& target)
{
    std::string error;
    const std::optional<RgbImage> picture = ReadBmp(bitmap.string(), &error);
    if (!picture)
        throw std::runtime_error(error);
    const std::vector<uint32_t> pixels = ToPixels32(*picture);
    ImageView view;
    view.bits = reinterpret_cast<const uint8_t*>(pixels.data());
    view.width = picture->width;
    view.height = picture->height;
    view.stride = size_t(picture->width) * 4;
    if (!SaveImage(target.string(), view, &error))
        throw std::runtime_error(error);
}

std::filesystem::path LocalPath(const QString& name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

} // namespace

TScreenshotFormat ScreenshotFormatFor(const std::filesystem::path& name)
{
    const std::string extension = LowerCase(name.extension().string());
    if (extension == ".bmp")
        return TScreenshotFormat::Bitmap;
    if (extension == ".jpg" || extension == ".jpeg")
        return TScreenshotFormat::Jpeg;
    if (extension == ".gif")
        return TScreenshotFormat::Gif;
    return TScreenshotFormat::None;
}

void SaveBitmapAs(const std::filesystem::path& bitmap, const std::filesystem::path& target,
    TScreenshotFormat format)
{
    switch (format) {
    case TScreenshotFormat::Bitmap: {
        std::error_code error;
        std::filesystem::copy_file(bitmap, target, std::filesystem::copy_options::overwrite_existing, error);
        if (error)
            throw std::runtime_error("cannot write " + target.string() + ": " + error.message());
        break;
    }
    case TScreenshotFormat::Jpeg:
    case TScreenshotFormat::Gif:
        Convert(bitmap, target);
        break;
    case TScreenshotFormat::None:
        break;
    }
}

void TakeScreenshot(TVNCProto& proto, const TAskScreenshotName& askName)
{
    if (!proto.IsReady())
        return;
    const TTempFile picture("ZVC", ".tmp");
    if (!picture.Created())
        return;
    // Without the picture every format would write an empty or broken file and look saved.
    if (!proto.SaveFramebufferBitmap(picture.Path().string()))
        throw std::runtime_error("The screen picture could not be written to " + picture.Path().string());
    const QString chosen = askName();
    if (chosen.isEmpty())
        return;
    const std::filesystem::path target = LocalPath(chosen);
    SaveBitmapAs(picture.Path(), target, ScreenshotFormatFor(target));
}

QImage PicturePreview(const QString& path, const QSize& box)
{
    // The dialog lists whatever lies in the folder: a file is read only when its header says it
    // is one of the three formats and its size is modest, and then straight down to the box.
    constexpr qint64 kMaxPreviewPixels = 64LL * 1024 * 1024;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "bmp" && format != "jpeg" && format != "gif")
        return QImage();
    const QSize size = reader.size();
    if (size.isEmpty() || qint64(size.width()) * size.height() > kMaxPreviewPixels)
        return QImage();
    if (size.width() > box.width() || size.height() > box.height())
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}

QFileDialog* CreateSavePicDialog(QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, QStringLiteral("Save Screenshot"));
    dialog->setObjectName(QStringLiteral("dlgSavePic"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // The same dialog on every desktop, and one that tests can drive.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDefaultSuffix(QStringLiteral("bmp"));
    dialog->setNameFilters({ QStringLiteral("Windows Bitmap (*.bmp)"), QStringLiteral("GIF Image (*.gif)"),
        QStringLiteral("JPEG Image (*.jpg)"), QStringLiteral("All (*.jpg *.jpeg *.bmp *.gif)") });
    dialog->selectNameFilter(QStringLiteral("Windows Bitmap (*.bmp)"));

    // The preview pane: the picture file under the cursor, beside the list.
    constexpr int kPreviewSide = 160;
    auto* preview = new QLabel(dialog);
    preview->setObjectName(QStringLiteral("imgPreview"));
    preview->setFixedSize(kPreviewSide, kPreviewSide);
    preview->setAlignment(Qt::AlignCenter);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        const QSize box = preview->contentsRect().size();
        preview->setPixmap(QPixmap::fromImage(PicturePreview(path, box)));
    });
    return dialog;
}

QString AskWithSavePicDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString chosen = dialog.selectedFiles().front();
    dialog.selectFile(chosen);
    return chosen;
}

} // namespace zarn
