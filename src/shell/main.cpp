#include "SalvixApp.h"
#include "platform/MemoryRelease.h"

int main(int argc, char** argv)
{
    // Help and bad options are answered before any window system is needed.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    int exitCode = 0;
    if (CSalvixApp::EndsBeforeStart(CSalvixApp::ParseCommandLine(arguments), exitCode))
        return exitCode;

    // A table window holds a million rows and sorts them with buffers as
    // large again: freed, those go back to the system.
    ReleaseLargeBlocksOnFree();
    CSalvixApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance(app.ExitCode());
    return app.ExitInstance(app.exec());
}
