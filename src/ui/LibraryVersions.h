#pragma once
// The libraries the viewer runs with, as the about box lists them.

#include <vector>

#include <QString>

namespace zarn {

struct TLibraryVersion {
    QString Name;
    QString Version;
};

// One entry per library, in the order shown: Qt as loaded at run time (qVersion()); libjpeg-turbo
// and giflib as built against, since neither can be asked at run time (their sonames pin the
// interface). A library linked later joins here with its own run-time query (zlib:
// zlibVersion(); GnuTLS: gnutls_check_version(nullptr)).
std::vector<TLibraryVersion> LinkedLibraryVersions();

// "Qt 6.4.2, libjpeg-turbo 2.1.5, giflib 5.2.1": the list above on one line.
QString LinkedLibrariesText();

} // namespace zarn
