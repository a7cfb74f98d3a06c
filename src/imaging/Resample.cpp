#include "Resample.h"

#include "ParallelParts.h"
#include "PassLists.h"
#include "ResampleKernels.h"
#include "ResampleStream.h"
#include "RowSource.h"
#include "WeightTableCache.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <thread>

namespace quorix {

namespace {

using Extended = long double;

constexpr int StripRows = 16;
// Below this many source pixels a second thread costs more than it brings.
constexpr int64_t ParallelPixels = 1 << 18;

int DefaultThreads() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 64u));
}

std::atomic<int>& ThreadSetting() {
    static std::atomic<int> threads{DefaultThreads()};
    return threads;
}

std::vector<uint8_t*> RowPointers(TBitmap& bitmap) {
    std::vector<uint8_t*> rows(static_cast<size_t>(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y) rows[y] = bitmap.ScanLine(y);
    return rows;
}

// Strips of rows handed from the thread that reads them to the thread that
// resamples them, never more than the source keeps valid.
class TStripQueue {
public:
    explicit TStripQueue(int kept) : FKept(kept) {}
    struct TStrip {
        int First = 0, Count = 0;
        const uint8_t* Rows[StripRows];
    };
    // Producer: waits for room, then fills the next strip with read().
    template <class Read>
    bool Produce(Read read) {
        std::unique_lock<std::mutex> lock(FMutex);
        FRoom.wait(lock, [&] { return FStopped || FProduced - FConsumed <= FKept - 1; });
        if (FStopped) return false;
        lock.unlock();
        TStrip strip;
        strip.First = FNextRow;
        strip.Count = read(strip.Rows);
        FNextRow += strip.Count;
        lock.lock();
        if (strip.Count == 0) {
            FDone = true;
        } else {
            FStrips[FProduced % Ring] = strip;
            ++FProduced;
        }
        FReady.notify_one();
        return strip.Count > 0;
    }
    // Consumer: the next strip, or false when the producer is done or stopped.
    bool Next(TStrip& strip) {
        std::unique_lock<std::mutex> lock(FMutex);
        FReady.wait(lock, [&] { return FStopped || FDone || FTaken < FProduced; });
        if (FTaken >= FProduced) return false;
        strip = FStrips[FTaken % Ring];
        ++FTaken;
        return true;
    }
    void Consumed() {
        std::lock_guard<std::mutex> lock(FMutex);
        ++FConsumed;
        FRoom.notify_one();
    }
    void Stop() {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopped = true;
        FRoom.notify_all();
        FReady.notify_all();
    }

private:
    static constexpr int64_t Ring = 64;
    std::mutex FMutex;
    std::condition_variable FRoom, FReady;
    int64_t FKept;
    int64_t FProduced = 0, FTaken = 0, FConsumed = 0;
    int FNextRow = 0;
    bool FDone = false, FStopped = false;
    TStrip FStrips[Ring];
};

// What one resampling call builds before the passes run: the contributor
// tables and, for a source read in order, the streaming passes.
struct TPassPlan {
    std::unique_ptr<TPassLists> Horizontal, Vertical;
    std::unique_ptr<TStreamingPasses> Passes;
};

// The resampler's own failures as text.
template <class Work>
std::string Attempt(Work work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// Both passes while the source is still being read: this thread reads from the
// start, a second one prepares the plan and then resamples each strip as it comes.
template <class Prepare>
std::string StreamWithReader(TRowSource& source, TPassPlan& plan, Prepare prepare) {
    TStripQueue queue(std::min<int64_t>(source.KeptReads(), 63));
    std::exception_ptr failure;
    std::string refusal;
    std::thread resampler([&] {
        try {
            refusal = prepare();
            if (!refusal.empty()) {
                queue.Stop();
                return;
            }
            TStripQueue::TStrip strip;
            while (queue.Next(strip)) {
                plan.Passes->Take(strip.Rows, strip.Count);
                queue.Consumed();
            }
        } catch (...) {
            failure = std::current_exception();
            queue.Stop();
        }
    });
    try {
        while (queue.Produce([&](const uint8_t** rows) { return source.ReadRows(StripRows, rows); })) {
        }
    } catch (...) {
        queue.Stop();
        resampler.join();
        if (!refusal.empty()) return refusal;
        throw;
    }
    resampler.join();
    if (!refusal.empty()) return refusal;
    if (failure) std::rethrow_exception(failure);
    plan.Passes->Finish();
    return "";
}

void StreamHere(TRowSource& source, TStreamingPasses& passes) {
    const uint8_t* rows[StripRows];
    for (;;) {
        int n = source.ReadRows(StripRows, rows);
        if (n <= 0) break;
        passes.Take(rows, n);
    }
}

// Every row stays readable: each thread makes its own band of destination
// rows from the source rows that band reads.
void BandsInParallel(TRowSource& source, const TPassLists& horizontal, const TPassLists& vertical,
                     const TPassKernels& kernels, TBitmap& dest, int threads) {
    std::vector<const uint8_t*> rows(static_cast<size_t>(source.Height()));
    int delivered = 0;
    while (delivered < source.Height()) {
        int n = source.ReadRows(source.Height() - delivered, rows.data() + delivered);
        if (n <= 0) break;
        delivered += n;
    }
    const int height = dest.Height();
    RunParallel(threads, [&](int part) {
        const TBand band = BandFor(vertical, height * part / threads, height * (part + 1) / threads);
        TStreamingPasses passes(horizontal, vertical, kernels, dest, source.Width(), source.Height(), band,
                                StripRows);
        const int last = std::min(band.LastSource, delivered);
        for (int y = band.FirstSource; y < last; y += StripRows)
            passes.Take(rows.data() + y, std::min(StripRows, last - y));
        passes.Finish();  // rows the source did not deliver count as black
    });
}

}  // namespace

float ScaleFactor(int destLength, int sourceLength) {
    // A one-pixel source or destination has no corner-to-corner span.
    if (sourceLength == 1 || destLength == 1)
        return static_cast<float>(static_cast<Extended>(destLength) / sourceLength);
    return static_cast<float>(static_cast<Extended>(destLength - 1) / (sourceLength - 1));
}

int32_t ReflectIndex(int64_t j, int length) {
    if (length <= 1) return 0;
    for (;;) {
        if (j < 0)
            j = -j;
        else if (j >= length)
            j = 2 * static_cast<int64_t>(length) - 1 - j;
        else
            return static_cast<int32_t>(j);
    }
}

TWeightTable BuildWeightTable(int destLength, int sourceLength, TFilterProc filter, float width) {
    return BuildWeightBlock(destLength, sourceLength, filter, width, 0, destLength);
}

namespace {

// Lists whose centres have the same fractional part have the same weights at
// the same offsets from the centre's whole part (the distances are the same,
// exactly, in extended precision). Far from the origin a single-precision
// centre has few fractional parts, so the long lists of a large reduction are
// mostly weighed once. Kept small: cleared when it holds too many weights.
class TWeightMemo {
public:
    struct TEntry {
        int64_t Offset;
        float Weight;
    };
    struct TList {
        std::vector<TEntry> Entries;
        bool SingleExact = false;  // SingleStepIsExact of the weights
    };
    template <class Weigh>
    const TList& Find(Extended fraction, Weigh weigh) {
        auto it = FLists.find(fraction);
        if (it != FLists.end()) return it->second;
        if (FHeld > MaxHeld) {
            FLists.clear();
            FHeld = 0;
        }
        TList& list = FLists[fraction];
        weigh(list.Entries);
        std::vector<TSourceWeight> weights;
        for (const TEntry& entry : list.Entries) weights.push_back({0, entry.Weight});
        list.SingleExact = SingleStepIsExact(weights.data(), static_cast<int>(weights.size()));
        FHeld += list.Entries.size();
        return list;
    }

private:
    static constexpr size_t MaxHeld = size_t(1) << 20;
    std::map<Extended, TList> FLists;
    size_t FHeld = 0;
};

}  // namespace

TWeightTable BuildWeightBlock(int destLength, int sourceLength, TFilterProc filter, float width, int first,
                              int count) {
    // A destination without pixels in this direction has no lists (and its
    // scale factor would be negative).
    TWeightTable table;
    count = std::min(count, destLength - first);
    if (destLength < 1 || count < 1) return table;
    float scale = ScaleFactor(destLength, sourceLength);
    bool reducing = scale < 1.0f;
    float reach = reducing ? static_cast<float>(static_cast<Extended>(width) / scale) : width;
    float stretch = reducing ? static_cast<float>(1.0L / scale) : 1.0f;

    table.Start.resize(static_cast<size_t>(count));
    table.SingleExact.reserve(static_cast<size_t>(count));
    table.Count.resize(static_cast<size_t>(count));
    table.Items.reserve(static_cast<size_t>(count) * static_cast<size_t>(2.0L * reach + 1.0L));
    TWeightMemo memo;
    for (int k = 0; k < count; ++k) {
        const float centre = static_cast<float>(static_cast<Extended>(first + k) / scale);
        const Extended whole = std::floor(static_cast<Extended>(centre));
        const Extended fraction = static_cast<Extended>(centre) - whole;
        const TWeightMemo::TList& list = memo.Find(fraction, [&](std::vector<TWeightMemo::TEntry>& entries) {
            const int64_t left = static_cast<int64_t>(std::floor(fraction - reach));
            const int64_t right = static_cast<int64_t>(std::ceil(fraction + reach));
            for (int64_t m = left; m <= right; ++m) {
                const Extended distance = fraction - static_cast<Extended>(m);
                float weight;
                if (reducing) {
                    float x = static_cast<float>(distance / stretch);
                    weight = static_cast<float>(static_cast<Extended>(filter(x)) / stretch);
                } else {
                    weight = filter(static_cast<float>(distance));
                }
                if (weight != 0.0f) entries.push_back({m, weight});
            }
        });
        const int64_t base = static_cast<int64_t>(whole);
        const size_t start = table.Items.size(), n = list.Entries.size();
        table.Items.resize(start + n);
        TSourceWeight* item = table.Items.data() + start;
        for (size_t e = 0; e < n; ++e) {
            const int64_t j = base + list.Entries[e].Offset;
            item[e] = {j >= 0 && j < sourceLength ? static_cast<int32_t>(j) : ReflectIndex(j, sourceLength),
                       list.Entries[e].Weight};
        }
        table.Start[k] = static_cast<int32_t>(start);
        table.Count[k] = static_cast<int32_t>(n);
        if (table.Count[k] > table.MaxCount) table.MaxCount = table.Count[k];
        table.SingleExact.push_back(list.SingleExact);
    }
    return table;
}

bool SingleStepIsExact(const TSourceWeight* items, int count) {
    if (count <= 0) return true;
    double total = 0.0;
    float smallest = INFINITY;
    for (int k = 0; k < count; ++k) {
        total += std::fabs(static_cast<double>(items[k].Weight));
        smallest = std::min(smallest, std::fabs(items[k].Weight));
    }
    int bound, exponent;
    std::frexp(2.0 * 255.0 * total * (1.0 + 0x1p-20), &bound);  // 2 * 255 * total < 2^bound
    std::frexp(static_cast<double>(smallest), &exponent);      // smallest = m * 2^exponent, m in [0.5, 1)
    return exponent - 1 >= bound - 30 && count < (1 << 20);
}

uint8_t SumToByte(float sum) {
    if (sum > 255.0f) return 255;
    if (sum < 0.0f) return 0;
    return static_cast<uint8_t>(std::nearbyint(sum));  // ties to even in the default rounding mode
}

void HorizontalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights) {
    std::vector<const uint8_t*> rows(static_cast<size_t>(source.Height()));
    for (int y = 0; y < source.Height(); ++y) rows[y] = source.ScanLine(y);
    std::vector<uint8_t*> out = RowPointers(dest);
    KernelsFor(CurrentSimdLevel()).Horizontal(rows.data(), out.data(), source.Height(), source.Width(), weights);
}

void VerticalPass(const TBitmap& source, TBitmap& dest, const TWeightTable& weights) {
    std::vector<uint8_t*> work(static_cast<size_t>(source.Height()));
    for (int y = 0; y < source.Height(); ++y) work[y] = const_cast<uint8_t*>(source.ScanLine(y));
    const TPassKernels& kernels = KernelsFor(CurrentSimdLevel());
    const size_t rowBytes = static_cast<size_t>(dest.Width()) * 3;
    for (int i = 0; i < dest.Height(); ++i)
        kernels.Vertical(work.data(), dest.ScanLine(i), rowBytes, weights.Items.data() + weights.Start[i],
                         weights.Count[i]);
}

void SetResampleThreads(int threads) {
    ThreadSetting().store(threads < 1 ? DefaultThreads() : threads, std::memory_order_relaxed);
}

int ResampleThreads() {
    return ThreadSetting().load(std::memory_order_relaxed);
}

std::string ResampleRows(TRowSource& source, TBitmap& dest, TFilterProc filter, float width,
                         const TRowsDone& done) {
    const int sw = source.Width(), sh = source.Height();
    if (sw < 1 || sh < 1) return "Cannot strecth! The image is too small.";
    if (static_cast<int64_t>(sw) * sh > MaxPicturePixels) return "Cannot strecth! The image is too big.";
    const int dw = dest.Width(), dh = dest.Height();
    const int threads = static_cast<int64_t>(sw) * sh < ParallelPixels ? 1 : ResampleThreads();
    std::string refusal = Attempt([&] { dest.SetPixelFormat(TPixelFormat::pf24bit); });
    if (!refusal.empty()) return refusal;
    const TPassKernels& kernels = KernelsFor(CurrentSimdLevel());
    TPassPlan plan;
    auto buildTables = [&] {
        plan.Horizontal = std::make_unique<TPassLists>(PassListsFor(dw, sw, filter, width, false));
        plan.Vertical = std::make_unique<TPassLists>(PassListsFor(dh, sh, filter, width, true));
    };
    auto buildStreaming = [&] {
        buildTables();
        plan.Passes = std::make_unique<TStreamingPasses>(*plan.Horizontal, *plan.Vertical, kernels, dest, sw, sh,
                                                         TBand{0, dh, 0, sh}, StripRows);
        plan.Passes->SetRowsDone(done);
    };
    if (threads > 1 && source.KeptReads() == INT_MAX) {
        refusal = Attempt(buildTables);
        if (!refusal.empty()) return refusal;
        try {
            BandsInParallel(source, *plan.Horizontal, *plan.Vertical, kernels, dest, threads);
        } catch (const std::bad_alloc&) {
            return "Out of memory";
        }
        if (done) done(dh);
        return "";
    }
    // What the source raises while it is read is its own error and passes on.
    if (threads > 1) return StreamWithReader(source, plan, [&] { return Attempt(buildStreaming); });
    refusal = Attempt(buildStreaming);
    if (!refusal.empty()) return refusal;
    StreamHere(source, *plan.Passes);
    plan.Passes->Finish();
    return "";
}

std::string ResampleBitmap(TBitmap& source, TBitmap& dest, TFilterProc filter, float width,
                           const TRowsDone& done) {
    const int sw = source.Width(), sh = source.Height();
    if (sw < 1 || sh < 1) return "Cannot strecth! The image is too small.";
    if (static_cast<int64_t>(sw) * sh > MaxPicturePixels) return "Cannot strecth! The image is too big.";
    try {
        source.SetPixelFormat(TPixelFormat::pf24bit);
        TBitmapRowSource rows(source);
        return ResampleRows(rows, dest, filter, width, done);
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return e.what();
    }
}

std::string ResampleGraphic(const TGraphic& graphic, TOrvelBitmap& dest, TFilterProc filter, float width,
                            const TRowsDone& done) {
    // A decoder that hands out rows feeds the passes directly; a 24-bit bitmap
    // is read in place. Anything else is converted to a 24-bit copy first.
    if (std::unique_ptr<TRowSource> rows = graphic.OpenRowSource()) return ResampleRows(*rows, dest, filter, width, done);
    TOrvelBitmap temporary;
    temporary.SetPixelFormat(TPixelFormat::pf24bit);
    temporary.Assign(graphic);
    return ResampleBitmap(temporary, dest, filter, width, done);
}

}  // namespace quorix
