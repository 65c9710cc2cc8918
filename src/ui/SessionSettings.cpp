#include "ui/SessionSettings.h"

#include "settings/RegSettings.h"

namespace zarn {

TSessionSettings SessionSettingsOf(const TVNCRegSettings& settings)
{
    TSessionSettings session;
    session.EncCopyRect = settings.EncCopyRect();
    session.EncRRE = settings.EncRRE();
    session.EncHextile = settings.EncHextile();
    session.TrueColor = settings.TrueColor();
    session.SharedClipboard = settings.SharedClipboard();
    session.TargetFPS = settings.TargetFPS();
    session.Encryption = settings.Encryption();
    session.EncZRLE = settings.EncZRLE();
    session.EncTight = settings.EncTight();
    session.AutoQuality = settings.AutoQuality();
    session.JPEGQuality = settings.JPEGQuality();
    session.CompressLevel = settings.CompressLevel();
    session.DesktopResize = settings.DesktopResize();
    session.RemoteResize = settings.RemoteResize();
    return session;
}

} // namespace zarn
