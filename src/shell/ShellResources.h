// Registration of the embedded pictures (resources/salvix.qrc).
#pragma once

// The pictures are compiled into a static library; this registers them with
// Qt's resource system. Safe to call more than once.
void InitShellResources();
