#pragma once

// The heads of an X server that joins several displays with Xinerama and has no RandR
// (Xorg with several Screen sections, as in multi-card setups). Qt sees one screen there, the
// whole desktop, so the displays are asked of the server itself.

#include <QRect>

#include <vector>

namespace pa::host {

// Head 0 first (the primary); empty when not on X11 or Xinerama is not active.
std::vector<QRect> xineramaHeads();

} // namespace pa::host
