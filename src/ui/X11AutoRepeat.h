#pragma once
// A held key on X11 normally arrives as pairs of release and press, one pair per repetition.
// Qt tells those releases apart from real ones only by looking ahead in its event queue, which
// misses when the repeated press has not been read yet (a busy machine): the server would then
// see the key let go in the middle of a hold. Asking the X server for detectable auto-repeat
// removes the in-between releases at the source, for this program's connection only: a held key
// is a row of presses and one release.

namespace zarn {

// Does nothing where there is no X11 connection or no XKB extension.
void AskForDetectableAutoRepeat();

} // namespace zarn
