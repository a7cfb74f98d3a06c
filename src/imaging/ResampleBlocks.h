// The shape the SIMD versions of the passes share. Ops holds the sums of
// eight pixels (Acc), adds eight bytes times one weight to them (Step) and
// turns them into eight bytes (Store8). Included by one file per instruction
// set, each with its own Ops type.
#pragma once

#include "ResampleKernels.h"

#include <algorithm>
#include <vector>

namespace quorix {
namespace {

inline float AccumulateOne(float sum, uint8_t value, float weight) {
    return static_cast<float>(static_cast<double>(sum) +
                              static_cast<double>(value) * static_cast<double>(weight));
}

// One contributor added to the three channel sums of eight rows.
template <class Ops>
inline void StepPixel(typename Ops::Acc* acc, const uint8_t* block, const TSourceWeight& item) {
    const uint8_t* q = block + static_cast<size_t>(item.Pixel) * 24;
    const auto weight = Ops::Weight(item.Weight);
    Ops::Step(acc[0], q, weight);
    Ops::Step(acc[1], q + 8, weight);
    Ops::Step(acc[2], q + 16, weight);
}

// The three channels of destination pixel i in each of the rows.
template <class Ops>
inline void StorePixel(const typename Ops::Acc* acc, uint8_t* const* dst, int rows, int i) {
    for (int c = 0; c < 3; ++c) {
        uint8_t bytes[8];
        Ops::Store8(acc[c], bytes);
        for (int r = 0; r < rows; ++r) dst[r][3 * i + c] = bytes[r];
    }
}

// The Ops of a processor without a single-precision fused multiply-add.
struct TNoSingleOps {
    static constexpr bool Enabled = false;
};

// Pixels destination pixels from i on of eight interleaved rows, their shared
// number of contributors first: independent sums hide the latency of each step.
template <class Ops, int Pixels>
inline void SumGroup(const TWeightTable& table, int i, const uint8_t* block, uint8_t* const* dst, int rows) {
    typename Ops::Acc acc[Pixels][3];
    const TSourceWeight* item[Pixels];
    int common = table.Count[i];
    for (int n = 0; n < Pixels; ++n) {
        acc[n][0] = acc[n][1] = acc[n][2] = Ops::Zero();
        item[n] = table.Items.data() + table.Start[i + n];
        common = std::min(common, static_cast<int>(table.Count[i + n]));
    }
    for (int k = 0; k < common; ++k)
        for (int n = 0; n < Pixels; ++n) StepPixel<Ops>(acc[n], block, item[n][k]);
    for (int n = 0; n < Pixels; ++n) {
        for (int k = common; k < table.Count[i + n]; ++k) StepPixel<Ops>(acc[n], block, item[n][k]);
        StorePixel<Ops>(acc[n], dst, rows, i + n);
    }
}

template <int Pixels>
inline bool GroupIsSingleExact(const TWeightTable& table, int i) {
    if (table.SingleExact.size() != table.Start.size()) return false;
    for (int n = 0; n < Pixels; ++n)
        if (!table.SingleExact[i + n]) return false;
    return true;
}

// Eight rows at a time: interleaved, a byte of all eight rows is one load.
// Pixels destination pixels are summed together (their shared number of
// contributors first): independent sums hide the latency of each step.
template <class Ops, int Pixels, class Single = TNoSingleOps>
void HorizontalBlocks(const uint8_t* const* src, uint8_t* const* dst, int count, int sourceWidth,
                      const TWeightTable& table) {
    using Acc = typename Ops::Acc;
    const int destWidth = static_cast<int>(table.Start.size());
    const size_t rowBytes = static_cast<size_t>(sourceWidth) * 3;
    thread_local std::vector<uint8_t> scratch;
    scratch.resize(rowBytes * 8);
    uint8_t* const block = scratch.data();  // no thread-local lookup inside the loops
    const TSourceWeight* const items = table.Items.data();
    for (int y0 = 0; y0 < count; y0 += 8) {
        const int rows = std::min(8, count - y0);
        const uint8_t* in[8];
        for (int r = 0; r < 8; ++r) in[r] = src[y0 + std::min(r, rows - 1)];  // repeat the last row
        TransposeEightRows(in, rowBytes, block);
        int i = 0;
        for (; i + Pixels <= destWidth; i += Pixels) {
            if constexpr (Single::Enabled) {
                if (GroupIsSingleExact<Pixels>(table, i)) {
                    SumGroup<Single, Pixels>(table, i, block, dst + y0, rows);
                    continue;
                }
            }
            SumGroup<Ops, Pixels>(table, i, block, dst + y0, rows);
        }
        for (; i < destWidth; ++i) {
            Acc a[3] = {Ops::Zero(), Ops::Zero(), Ops::Zero()};
            const TSourceWeight* item = items + table.Start[i];
            for (int k = 0; k < table.Count[i]; ++k) StepPixel<Ops>(a, block, item[k]);
            StorePixel<Ops>(a, dst + y0, rows, i);
        }
    }
}

// Groups eight-byte groups of the row at a time, all contributors before the next block.
template <class Ops, int Groups>
void VerticalBlocks(const uint8_t* const* work, uint8_t* dst, size_t rowBytes, const TSourceWeight* items, int count) {
    constexpr size_t Bytes = 8 * Groups;
    size_t x = 0;
    for (; x + Bytes <= rowBytes; x += Bytes) {
        typename Ops::Acc acc[Groups];
        for (int j = 0; j < Groups; ++j) acc[j] = Ops::Zero();
        for (int k = 0; k < count; ++k) {
            const uint8_t* q = work[items[k].Pixel] + x;
            const auto weight = Ops::Weight(items[k].Weight);
            for (int j = 0; j < Groups; ++j) Ops::Step(acc[j], q + 8 * j, weight);
        }
        for (int j = 0; j < Groups; ++j) Ops::Store8(acc[j], dst + x + 8 * j);
    }
    for (; x < rowBytes; ++x) {
        float sum = 0.0f;
        for (int k = 0; k < count; ++k) sum = AccumulateOne(sum, work[items[k].Pixel][x], items[k].Weight);
        dst[x] = SumToByte(sum);
    }
}

}  // namespace
}  // namespace quorix
