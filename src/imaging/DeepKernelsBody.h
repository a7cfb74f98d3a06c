// The body of the 16-bit kernels in four-float lanes, included by each
// instruction set's file inside its own unnamed namespace: the compiler
// makes SSE2, AVX2 or AVX-512 code of the same lane arithmetic.
// The file including it includes <algorithm> and <immintrin.h> first.
#pragma once

typedef float TLanes __attribute__((vector_size(16)));

// Rounded to nearest, ties to even, by the processor's conversion.
inline uint16_t ToSample(float sum) {
    if (!(sum > 0.0f)) return 0;
    if (sum >= 65535.0f) return 65535;
    return static_cast<uint16_t>(_mm_cvtss_si32(_mm_set_ss(sum)));
}

void LanesAcross(const uint16_t* in, int width, float* spreadFloats, uint16_t* out, const quorix::TWeightTable& table,
                 int outWidth) {
    TLanes* spread = reinterpret_cast<TLanes*>(spreadFloats);
    for (int x = 0; x < width; ++x)
        spread[x] = TLanes{static_cast<float>(in[3 * x]), static_cast<float>(in[3 * x + 1]), static_cast<float>(in[3 * x + 2]), 0.0f};
    for (int x = 0; x < outWidth; ++x) {
        const quorix::TSourceWeight* item = table.Items.data() + table.Start[x];
        TLanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = 0; k < table.Count[x]; ++k) {
            const TLanes product = item[k].Weight * spread[item[k].Pixel];
            sum += product;
        }
        out[3 * x] = ToSample(sum[0]), out[3 * x + 1] = ToSample(sum[1]), out[3 * x + 2] = ToSample(sum[2]);
    }
}

void LanesDown(const uint16_t* const* rows, const quorix::TSourceWeight* items, int count, float* sums, uint16_t* out,
               size_t samples) {
    std::fill(sums, sums + samples, 0.0f);
    for (int k = 0; k < count; ++k) {
        const uint16_t* in = rows[k];
        const float w = items[k].Weight;
        for (size_t i = 0; i < samples; ++i) {
            const float product = w * static_cast<float>(in[i]);
            sums[i] += product;
        }
    }
    for (size_t i = 0; i < samples; ++i) out[i] = ToSample(sums[i]);
}
