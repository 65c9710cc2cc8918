#include "ui/HostPortText.h"

#include "ui/ZarnUtils.h"

namespace zarn {

QString HostPortLine(const std::string& host, int port)
{
    const QString text = FromHostText(host);
    const QString shown = text.contains(QLatin1Char(':')) ? QLatin1Char('[') + text + QLatin1Char(']') : text;
    return shown + QLatin1Char(':') + QString::number(port);
}

bool SplitHostPortLine(const QString& line, THostPortText& parts)
{
    qsizetype colon = -1;
    if (line.startsWith(QLatin1Char('['))) {
        const qsizetype close = line.indexOf(QStringLiteral("]:"));
        if (close > 0)
            colon = close + 1;
    }
    if (colon < 0)
        colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    parts.host = line.left(colon);
    parts.port = line.mid(colon + 1);
    return true;
}

std::string HostFromTyped(const QString& typed)
{
    if (typed.size() >= 2 && typed.startsWith(QLatin1Char('[')) && typed.endsWith(QLatin1Char(']')))
        return ToHostText(typed.mid(1, typed.size() - 2));
    return ToHostText(typed);
}

} // namespace zarn
