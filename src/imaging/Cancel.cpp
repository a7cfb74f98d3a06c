#include "Cancel.h"

namespace quorix {

namespace {
thread_local const std::atomic<bool>* CancelFlag = nullptr;
}

void SetThreadCancelFlag(const std::atomic<bool>* flag) noexcept { CancelFlag = flag; }

void CheckCancelled() {
    if (CancelFlag && CancelFlag->load(std::memory_order_relaxed)) throw ECancelled();
}

}  // namespace quorix
