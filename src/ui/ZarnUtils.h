#pragma once
// Small helpers shared by the window and the dialogs: the version text of the about box, the
// application title, and the conversions between the engine's 8-bit text and Qt's strings.

#include <cstdint>
#include <string>

#include <QString>

namespace zarn {

// Version text as the about box shows it: major, the minor as two digits (taken from minor + 100,
// so a minor of 950 reads "05"), the release with at least two digits and the build with at least
// three in parentheses. 1.0.2.15 gives "1.00.02 (015)".
QString FormatVersionString(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);

// The running program's version, from the numbers CMake's project() declares.
QString GetVersionString();

// The application title that captions and the about box show. It lives here rather than in
// QGuiApplication::applicationDisplayName because Qt appends the display name to every window
// title on X11, which would turn "Connect" into "Connect - <title>".
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// RFB text is one Latin-1 character per byte; characters outside Latin-1 become "?".
QString FromRfbText(const std::string& text);
std::string ToRfbText(const QString& text);

// Host names travel as UTF-8: that is what getaddrinfo and the ini file expect.
QString FromHostText(const std::string& host);
std::string ToHostText(const QString& host);

} // namespace zarn
