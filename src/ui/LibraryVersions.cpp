#include "ui/LibraryVersions.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <gif_lib.h>
#include <jpeglib.h>

namespace zarn {

namespace {

QString DottedVersion(int major, int minor, int release)
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(release);
}

} // namespace

std::vector<TLibraryVersion> LinkedLibraryVersions()
{
    return {
        { QStringLiteral("Qt"), QString::fromLatin1(qVersion()) },
        { QStringLiteral("libjpeg-turbo"),
            DottedVersion(LIBJPEG_TURBO_VERSION_NUMBER / 1000000, LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000,
                LIBJPEG_TURBO_VERSION_NUMBER % 1000) },
        { QStringLiteral("giflib"), DottedVersion(GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE) },
    };
}

QString LinkedLibrariesText()
{
    QStringList parts;
    for (const TLibraryVersion& library : LinkedLibraryVersions())
        parts << library.Name + QLatin1Char(' ') + library.Version;
    return parts.join(QStringLiteral(", "));
}

} // namespace zarn
