#include "ui/ZarnUtils.h"

#include <QList>

#include "ZarnVersion.h"

namespace zarn {

namespace {

QString& StoredTitle()
{
    static QString title;
    return title;
}

} // namespace

QString FormatVersionString(uint16_t major, uint16_t minor, uint16_t release, uint16_t build)
{
    // minor + 100 always has at least three digits; its second and third are the two shown.
    const QString minorDigits = QString::number(int(minor) + 100).mid(1, 2);
    return QStringLiteral("%1.%2.%3 (%4)")
        .arg(major)
        .arg(minorDigits)
        .arg(release, 2, 10, QLatin1Char('0'))
        .arg(build, 3, 10, QLatin1Char('0'));
}

QString GetVersionString()
{
    // "+ 0" keeps the expression valid when CMake leaves a component of the version empty.
    return FormatVersionString(uint16_t(ZARN_VERSION_MAJOR + 0), uint16_t(ZARN_VERSION_MINOR + 0),
        uint16_t(ZARN_VERSION_RELEASE + 0), uint16_t(ZARN_VERSION_BUILD + 0));
}

QString ApplicationTitle()
{
    return StoredTitle();
}

void SetApplicationTitle(const QString& title)
{
    StoredTitle() = title;
}

QString FromRfbText(const std::string& text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

std::string ToRfbText(const QString& text)
{
    std::string bytes;
    const QList<uint> codePoints = text.toUcs4(); // one "?" per character, not per UTF-16 unit
    bytes.reserve(size_t(codePoints.size()));
    for (const uint c : codePoints)
        bytes.push_back(c <= 0xFF ? char(c) : '?');
    return bytes;
}

QString FromHostText(const std::string& host)
{
    return QString::fromUtf8(host.data(), qsizetype(host.size()));
}

std::string ToHostText(const QString& host)
{
    return host.toStdString();
}

} // namespace zarn
