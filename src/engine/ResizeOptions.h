// Everything the resize pipeline reads for one picture. The window fills it
// from its controls at the moment of each call; the command-line tool from its
// arguments.
#pragma once

#include "OrvelGraphics.h"

#include <string>

namespace quorix {

// The first selected mode button, in the order the pipeline tests them.
enum class TResizeMode { None, XIncrease, XDecrease, SameSize, FitWithin, SameWidth, SameHeight, FillBox };

// What a crop to fill keeps: the middle, or the part with the most detail,
// colour and skin tone.
enum class TCropFocus { Centre, Attention };


struct TResizeOptions {
    TResizeMode Mode = TResizeMode::XDecrease;
    double IncFactor = 1.5;  // enlargement factor
    double DecFactor = 2.0;  // reduction factor
    int Width = 800;         // fixed size, and the box of FitWithin
    int Height = 600;
    int WH = 600;            // the common side in the same-width and same-height modes
    int FilterIndex = 6;     // into ResampleFilters; out of range means Lanczos3
    int Quality = 70;        // JPEG quality
    bool Protect = true;     // skip pictures with both sides above 10000
    bool AddFilterName = false;
    bool Overwrite = true;
    bool OnlyShrink = false;  // a target beyond the source on either side keeps the source's size
    int MaxKB = 0;            // a lossy file's size limit in KB (1024 bytes); 0: none
    // The output's name before the extension: {name} {width} {height}
    // {filter} {quality} {counter} {date}; ValidNameTemplate checks it.
    std::string NameTemplate = "{name}";
    int Counter = 1;  // the picture's place in its batch, from CounterStart
    int CounterStart = 1;  // what {counter} gives the first picture of a batch
    std::string Format = "jpg";  // the key of an output format (OutputFormats)
    bool KeepProfile = true;     // the colour profile goes into the output
    bool KeepMetadata = true;    // EXIF, XMP and IPTC go into the output
    bool RemoveGps = true;       // ... without the location
    bool ConvertSrgb = false;    // pixels converted from their profile to sRGB
    bool KeepDate = false;       // the output gets the source's modification time
    TEncodeEffort PngEffort = TEncodeEffort::Balanced;  // PNG's compression: fast, balanced, smallest
    bool FastDecode = false;  // a reduction of 2x or more decodes at a reduced size where the format can
    bool Linear = false;      // resampled in linear light, on 16-bit samples
    // An unsharp mask on luminance after a reduction: its strength and its
    // radius in output pixels; 0: none.
    double SharpenAmount = 0.0, SharpenRadius = 0.0;
    TCropFocus Focus = TCropFocus::Centre;  // FillBox: what the crop keeps
    // 16: a picture of more than 8 bits a sample keeps 16 in a format that
    // holds them (PNG, TIFF, JPEG XL); 8: every output has 8.
    int Depth = 8;
};

// One of the outputs made from a picture: its options, and its name among
// the outputs of a recipe (empty for a run's single output).
struct TPictureOutput {
    std::string Key;
    TResizeOptions Options;
};

}  // namespace quorix
