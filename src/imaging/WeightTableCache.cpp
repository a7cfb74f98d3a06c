#include "WeightTableCache.h"

#include <cstring>
#include <deque>
#include <mutex>

namespace quorix {

namespace {

struct TCachedTable {
    int DestLength, SourceLength;
    TFilterProc Filter;
    float Width;
    std::shared_ptr<const TWeightTable> Table;
    bool Matches(int dest, int source, TFilterProc filter, float width) const {
        return DestLength == dest && SourceLength == source && Filter == filter &&
               std::memcmp(&Width, &width, sizeof width) == 0;
    }
};

// Two tables a picture, for the last few pictures' sizes.
constexpr size_t Kept = 8;

std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

std::deque<TCachedTable>& Cache() {
    static std::deque<TCachedTable> cache;
    return cache;
}

}  // namespace

std::shared_ptr<const TWeightTable> SharedWeightTable(int destLength, int sourceLength, TFilterProc filter,
                                                      float width) {
    {
        std::lock_guard<std::mutex> lock(CacheMutex());
        for (const TCachedTable& entry : Cache())
            if (entry.Matches(destLength, sourceLength, filter, width)) return entry.Table;
    }
    // Built outside the lock: another thread may build the same table meanwhile, which is harmless.
    auto table = std::make_shared<const TWeightTable>(BuildWeightTable(destLength, sourceLength, filter, width));
    std::lock_guard<std::mutex> lock(CacheMutex());
    Cache().push_front({destLength, sourceLength, filter, width, table});
    if (Cache().size() > Kept) Cache().pop_back();
    return table;
}

}  // namespace quorix
