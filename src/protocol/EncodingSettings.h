#pragma once
// The step that carries the user's encoding settings into the engine, shared by the start of a
// session and a live change of settings.

namespace zarn {

class TLinkQuality;
class TVNCProto;
class TVNCRegSettings;

// Copies the encodings chosen in `settings` (CopyRect, RRE, Hextile, ZRLE, Tight, the compress
// level) into the engine's fields and hands the picture-quality choice to `quality`, whose
// current level becomes the engine's JpegQuality. Sends nothing: SendSetEncodings announces it.
void ApplyEncodingSettings(TVNCProto& proto, const TVNCRegSettings& settings, TLinkQuality& quality);

} // namespace zarn
