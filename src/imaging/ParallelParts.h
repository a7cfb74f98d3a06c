// Work split into parts run side by side.
#pragma once

#include <exception>
#include <thread>
#include <vector>

namespace quorix {

// Runs work(part) for part = 0 .. parts - 1, one part on the calling thread,
// and raises the first error any part raised.
template <class Work>
void RunParallel(int parts, Work work) {
    if (parts <= 1) {
        work(0);
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
    std::vector<std::thread> helpers;
    for (int p = 1; p < parts; ++p)
        helpers.emplace_back([&, p] {
            try {
                work(p);
            } catch (...) {
                errors[p] = std::current_exception();
            }
        });
    try {
        work(0);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& t : helpers) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace quorix
