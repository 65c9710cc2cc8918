#pragma once
// The screenshot command's work. The engine's picture goes to a temporary bitmap first, before
// the user is asked for a name, so the file shows the screen as it was when the button was
// pressed whatever arrives meanwhile; the bitmap is then copied or converted by the extension of
// the chosen name. The temporary file is gone afterwards in every case, errors included.

#include <filesystem>
#include <functional>

#include <QString>

class QFileDialog;
class QImage;
class QSize;
class QWidget;

namespace zarn {

class TVNCProto;

enum class TScreenshotFormat { Bitmap, Jpeg, Gif, None };

// By the name's extension, in any letter case: .bmp, .jpg or .jpeg, .gif; anything else None.
TScreenshotFormat ScreenshotFormatFor(const std::filesystem::path& name);

// Writes the picture of the bitmap file to target: Bitmap copies the file unchanged, Jpeg
// writes quality 85, Gif at most 256 colours (exactly the picture's own when it has no more);
// None writes nothing. An existing target is replaced. Throws std::runtime_error with a
// message for the user when the bitmap cannot be read or the target cannot be written.
void SaveBitmapAs(const std::filesystem::path& bitmap, const std::filesystem::path& target,
    TScreenshotFormat format);

// Returns the chosen file name, or an empty text when the user cancelled.
using TAskScreenshotName = std::function<QString()>;

// The whole command: nothing when the engine is not ready or no temporary file can be made;
// otherwise the picture is taken, the name asked for and the file written. Throws like
// SaveBitmapAs, and when the picture itself could not be taken.
void TakeScreenshot(TVNCProto& proto, const TAskScreenshotName& askName);

// The picture of a BMP, JPEG or GIF file, scaled down to fit `box`; a null image for any other
// file, one that does not read, and one too large to preview.
QImage PicturePreview(const QString& path, const QSize& box);

// The save dialog the window keeps for the whole run: titled "Save Screenshot", the four
// filters, "bmp" added to a name without an extension, no question before replacing a file,
// and a preview pane (QLabel "imgPreview") showing the picture file under the cursor.
QFileDialog* CreateSavePicDialog(QWidget* parent);
// Shows it and returns the chosen name (empty when cancelled); the name chosen is offered again
// at the next showing.
QString AskWithSavePicDialog(QFileDialog& dialog);

} // namespace zarn
