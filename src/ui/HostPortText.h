#pragma once
// A host and a port as one line of text ("office-pc:5901") and back, as the recent-hosts list
// and the password prompt show them. An IPv6 address holds colons of its own, so a host with a
// ":" is written in brackets ("[2001:db8::1]:5901"): the line then still splits at the ":"
// before the port, and the bracketed host can be typed back as it reads.

#include <string>

#include <QString>

namespace zarn {

QString HostPortLine(const std::string& host, int port);

struct THostPortText {
    QString host; // as the user would type it: an IPv6 address keeps its brackets
    QString port; // everything after the separating ":"
};

// Splits a line at the ":" before the port: the one after "]" when the line starts with a
// bracketed host, else the first. A line without that ":" gives nothing.
bool SplitHostPortLine(const QString& line, THostPortText& parts);

// The host as the engine (and name resolution) takes it: the typed text unchanged, except that
// brackets around an address are dropped ("[::1]" gives "::1").
std::string HostFromTyped(const QString& typed);

} // namespace zarn
