// The stages of one picture's job, each alone: decode a 6000 x 4000 JPEG, the
// horizontal and the vertical pass to 3000 x 2000 per filter, and encode.
#include "Jpeg.h"
#include "PhotoLike.h"
#include "Resample.h"
#include "ResampleKernels.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace quorix {

constexpr int SourceWidth = 6000, SourceHeight = 4000;
constexpr int DestWidth = 3000, DestHeight = 2000;

const TBitmap& Source() {
    static const TBitmap source = bench::MakePhotoLike(SourceWidth, SourceHeight, 7);
    return source;
}

const std::vector<uint8_t>& SourceJpeg() {
    static const std::vector<uint8_t> data = [] {
        TJPEGImage jpeg;
        jpeg.CompressionQuality = 92;
        jpeg.Assign(Source());
        jpeg.Compress();
        return jpeg.Data();
    }();
    return data;
}

void BM_DecodeJpeg(benchmark::State& state) {
    const std::vector<uint8_t>& data = SourceJpeg();
    for (auto _ : state) {
        TJPEGImage jpeg;
        jpeg.LoadFromBytes(data);
        benchmark::DoNotOptimize(jpeg.Bitmap().ScanLine(0));
    }
    state.counters["MB"] = data.size() / 1e6;
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

// Multiply-accumulates per pass: contributors times channels times pixels.
double MacCount(const TWeightTable& table, int lines) {
    return static_cast<double>(table.Items.size()) * 3.0 * lines;
}

// Arguments: filter index, instruction set (0 plain, 1 SSE2, 2 AVX2, 3 AVX-512).
bool UseLevel(benchmark::State& state) {
    TSimdLevel level = static_cast<TSimdLevel>(state.range(1));
    if (static_cast<int>(level) > static_cast<int>(BestSimdLevel())) {
        state.SkipWithError("not supported by this processor");
        return false;
    }
    SetSimdLevel(level);
    return true;
}

void PassArguments(benchmark::internal::Benchmark* b) {
    for (int level = 0; level <= 3; ++level)
        for (int filter = 0; filter < ResampleFilterCount; ++filter) b->Args({filter, level});
}

void BM_HorizontalPass(benchmark::State& state) {
    if (!UseLevel(state)) return;
    const TResampleFilter& f = ResampleFilters[state.range(0)];
    TWeightTable table = BuildWeightTable(DestWidth, SourceWidth, f.Filter, f.Width);
    TBitmap work;
    work.SetSize(DestWidth, SourceHeight);
    for (auto _ : state) HorizontalPass(Source(), work, table);
    state.SetLabel(std::string(f.Name) + " " + SimdLevelName(CurrentSimdLevel()));
    state.counters["ns/MAC"] = benchmark::Counter(MacCount(table, SourceHeight) * state.iterations() / 1e9,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HorizontalPass)->Apply(PassArguments)->Unit(benchmark::kMillisecond);

void BM_VerticalPass(benchmark::State& state) {
    if (!UseLevel(state)) return;
    const TResampleFilter& f = ResampleFilters[state.range(0)];
    static TBitmap work = [] {
        TBitmap w;
        w.SetSize(DestWidth, SourceHeight);
        const TResampleFilter& l = ResampleFilters[DefaultResampleFilter];
        HorizontalPass(Source(), w, BuildWeightTable(DestWidth, SourceWidth, l.Filter, l.Width));
        return w;
    }();
    TWeightTable table = BuildWeightTable(DestHeight, SourceHeight, f.Filter, f.Width);
    TBitmap dest;
    dest.SetSize(DestWidth, DestHeight);
    for (auto _ : state) VerticalPass(work, dest, table);
    state.SetLabel(std::string(f.Name) + " " + SimdLevelName(CurrentSimdLevel()));
    state.counters["ns/MAC"] = benchmark::Counter(MacCount(table, DestWidth) * state.iterations() / 1e9,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VerticalPass)->Apply(PassArguments)->Unit(benchmark::kMillisecond);

void BM_EncodeJpeg(benchmark::State& state) {
    TBitmap dest;
    dest.SetSize(DestWidth, DestHeight);
    const TResampleFilter& l = ResampleFilters[DefaultResampleFilter];
    ResampleBitmap(const_cast<TBitmap&>(Source()), dest, l.Filter, l.Width);
    for (auto _ : state) {
        TJPEGImage jpeg;
        jpeg.CompressionQuality = 70;
        jpeg.Assign(dest);
        jpeg.Compress();
        benchmark::DoNotOptimize(jpeg.Data().data());
    }
}
BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMillisecond);

}  // namespace quorix

int main(int argc, char** argv) {
    // The pictures are made before any timing starts.
    quorix::Source();
    quorix::SourceJpeg();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
