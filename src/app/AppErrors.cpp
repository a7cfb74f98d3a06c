#include "AppErrors.h"

#include "OrvelMessages.h"

namespace quorix {

void ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("Unknown error");
    }
}

bool TQuorixApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}

}  // namespace quorix
