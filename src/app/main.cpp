#include "AppErrors.h"
#include "FormMain.h"
#include "Platform.h"
#include "SessionEnd.h"

int main(int argc, char** argv) {
    quorix::TQuorixApplication application(argc, argv);
    application.setApplicationName(quorix::AppTitle);
    application.setApplicationDisplayName(quorix::AppTitle);
    quorix::InstallDialogSinks();
    quorix::TMainForm form;
    quorix::WatchSessionEnd([&form] {
        try {
            form.EndRequested();
        } catch (...) {
            quorix::ReportCurrentException();
        }
    });
    form.LateInitialize();
    return application.exec();
}
