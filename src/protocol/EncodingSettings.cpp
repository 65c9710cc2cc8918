#include "protocol/EncodingSettings.h"

#include "protocol/LinkSpeed.h"
#include "protocol/VNCProto.h"
#include "settings/RegSettings.h"

namespace zarn {

void ApplyEncodingSettings(TVNCProto& proto, const TVNCRegSettings& settings, TLinkQuality& quality)
{
    proto.UseCopyRect = settings.EncCopyRect();
    proto.UseRRE = settings.EncRRE();
    proto.UseHextile = settings.EncHextile();
    proto.UseZRLE = settings.EncZRLE();
    proto.UseTight = settings.EncTight();
    proto.CompressLevel = settings.CompressLevel();
    quality.Configure(settings.AutoQuality(), settings.JPEGQuality());
    proto.JpegQuality = quality.JpegQuality();
}

} // namespace zarn
