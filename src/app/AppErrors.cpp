#include "AppErrors.h"

namespace quorix {

bool TQuorixApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}

}  // namespace quorix
