// Long work on a thread that its owner may call off: the owner names a flag
// for the thread, and the decoders and encoders look at it between rows.
#pragma once

#include "QuorixError.h"

#include <atomic>

namespace quorix {

// Work left because its owner no longer wants it; never reported.
class ECancelled : public EQuorixError {
public:
    ECancelled() : EQuorixError("Cancelled") {}
};

// The flag this thread's work answers to (none by default, or after null).
void SetThreadCancelFlag(const std::atomic<bool>* flag) noexcept;
// Raises ECancelled once the flag is set.
void CheckCancelled();

}  // namespace quorix
