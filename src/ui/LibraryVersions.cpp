#include "ui/LibraryVersions.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <gif_lib.h>
#include <gnutls/gnutls.h>
#include <jpeglib.h>
#include <zlib.h>

#include "protocol/Inflater.h"

namespace zarn {

namespace {

QString DottedVersion(int major, int minor, int release)
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(release);
}

} // namespace

std::vector<TLibraryVersion> LinkedLibraryVersions()
{
    std::vector<TLibraryVersion> libraries {
        { QStringLiteral("Qt"), QString::fromLatin1(qVersion()) },
        { QStringLiteral("libjpeg-turbo"),
            DottedVersion(LIBJPEG_TURBO_VERSION_NUMBER / 1000000, LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000,
                LIBJPEG_TURBO_VERSION_NUMBER % 1000) },
        { QStringLiteral("giflib"), DottedVersion(GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE) },
        // zlib and GnuTLS report the versions actually loaded.
        { QStringLiteral("zlib"), QString::fromLatin1(zlibVersion()) },
        { QStringLiteral("GnuTLS"), QString::fromLatin1(gnutls_check_version(nullptr)) },
    };
    // ZRLE and Tight pictures are inflated by ISA-L where the build had it.
    if (const std::string isal = IsalVersion(); !isal.empty())
        libraries.push_back({ QStringLiteral("ISA-L"), QString::fromStdString(isal) });
    return libraries;
}

QString LinkedLibrariesText()
{
    QStringList parts;
    for (const TLibraryVersion& library : LinkedLibraryVersions())
        parts << library.Name + QLatin1Char(' ') + library.Version;
    return parts.join(QStringLiteral(", "));
}

} // namespace zarn
