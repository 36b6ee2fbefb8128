#include <QtGlobal>

#include "ShellResources.h"

// Q_INIT_RESOURCE must be used outside any namespace; the call also keeps
// the resource object in the link when the library is static.
static void InitResourcesOnce()
{
    Q_INIT_RESOURCE(salvix);
}

void InitShellResources()
{
    static const bool done = (InitResourcesOnce(), true);
    (void)done;
}
