// The resampler's two passes on 16-bit samples: linear light, and pictures
// of more than 8 bits. The contributor lists are the 8-bit passes' own. Each
// sum is taken in single precision, contributor by contributor in list
// order (multiply, then add: never fused), then rounded to nearest and
// clamped; the vector code does exactly that in each lane, so every build
// and every processor gives the same samples.
#pragma once

#include "PixelMemory.h"
#include "Resample.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quorix {

// Three samples a pixel, in the order of the 24-bit bitmap (blue, green, red).
class TDeepPixels {
public:
    void SetSize(int width, int height);  // the samples are black
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    uint16_t* Row(int y) { return reinterpret_cast<uint16_t*>(FSamples.get()) + static_cast<size_t>(y) * FWidth * 3; }
    const uint16_t* Row(int y) const {
        return reinterpret_cast<const uint16_t*>(FSamples.get()) + static_cast<size_t>(y) * FWidth * 3;
    }

private:
    int FWidth = 0, FHeight = 0;
    TPixelMemory FSamples;  // in huge pages where it is large
};

// A picture's 16-bit rows handed over a strip at a time.
class TDeepRowSource {
public:
    virtual ~TDeepRowSource() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Points rows at the next n <= maxRows rows and returns n, 0 at the end;
    // they stay valid until the call after the next (the next strip is read
    // while this one is filtered). May raise the decoder's error.
    virtual int ReadRows(int maxRows, const uint16_t** rows) = 0;
};

// The rows of pixels, valid as long as they are.
class TDeepPixelsRows : public TDeepRowSource {
public:
    explicit TDeepPixelsRows(const TDeepPixels& pixels) : FPixels(pixels) {}
    int Width() const override { return FPixels.Width(); }
    int Height() const override { return FPixels.Height(); }
    int ReadRows(int maxRows, const uint16_t** rows) override;

private:
    const TDeepPixels& FPixels;
    int FNext = 0;
};

// dest must have its size. Each strip's rows are filtered across as they are
// read, threads parts side by side, into a ring of rows that the rows down
// are made from as soon as theirs are there; rows the source does not
// deliver count as black.
void ResampleDeep(TDeepRowSource& source, TDeepPixels& dest, TFilterProc filter, float width, int threads);
// The same, each destination row handed to sink as it is made (from several
// threads at once, each its own rows).
using TDeepRowSink = std::function<void(int y, const uint16_t* row)>;
// done (when given) is told how many rows from the top are finished, as
// TRowsDone is.
void ResampleDeep(TDeepRowSource& source, int destWidth, int destHeight, const TDeepRowSink& sink, TFilterProc filter,
                  float width, int threads, const TRowsDone& done = TRowsDone());

}  // namespace quorix
