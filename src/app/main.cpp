#include "AppErrors.h"
#include "FormMain.h"
#include "OrvelGraphics.h"
#include "Platform.h"
#include "SessionEnd.h"

#include <iostream>

int main(int argc, char** argv) {
    quorix::TQuorixApplication application(argc, argv);
    application.setApplicationName(quorix::AppTitle);
    application.setApplicationDisplayName(quorix::AppTitle);
    quorix::InstallDialogSinks();
    quorix::TMainForm form;
    // At log-out or on a signal nobody may be there to close a message box:
    // a failing save is reported on standard error and the program still ends.
    quorix::WatchSessionEnd([&form] {
        try {
            form.EndRequested();
        } catch (const std::exception& e) {
            std::cerr << "Quorix Image Resizer: " << e.what() << std::endl;
        }
    }, quorix::RemoveTemporariesNow);  // a second signal: the pictures in flight are left, not finished
    form.LateInitialize();
    // Pictures or folders on the command line (a file manager's "open with")
    // open in the explorer; without them the last folder shows, as always.
    std::vector<std::string> paths(argv + 1, argv + argc);
    form.OpenPaths(paths);
    // Closed or signalled while starting (during the update check, say): the
    // event loop that would have ended is not entered.
    if (form.EndWasRequested()) return 0;
    return application.exec();
}
