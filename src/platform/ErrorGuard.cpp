#include "ErrorGuard.h"

#include "OrvelMessages.h"

#include <exception>

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

}  // namespace quorix
