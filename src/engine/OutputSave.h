// The last part of an output's making: its format's encoder writes the
// pixels and the metadata record its container carries, under a size limit
// where one is set, and the file is put in place.
#pragma once

#include "Graphic.h"
#include "PhotoMetadata.h"
#include "Resample.h"
#include "ResizeOptions.h"

#include <memory>
#include <string>
#include <vector>

namespace quorix {

class TEncodeAsRowsCome;

class TOutputSave {
public:
    explicit TOutputSave(const TResizeOptions& options);
    ~TOutputSave();

    // Whether a format that takes rows as they come can start on working's
    // rows while they are made: not under a size limit, which tries several
    // qualities on the finished picture.
    bool CanStream() const;
    // Starts encoding working's rows as the resampler reports them (done:
    // rows finished so far); empty when the format takes only whole pictures.
    TRowsDone StreamRows(const TBitmap& working);

    // Writes fileName from working (given to the encoder: the caller's copy
    // is gone) and metadata. Raises what the encoder or the file system said.
    // The lines of the blocks left out are added to refused; false when a
    // size limit could not be reached.
    bool Save(TBitmap& working, const TPhotoMetadata& metadata, const std::string& fileName,
              std::vector<std::string>& refused);
    // 16-bit pixels written instead of working's where the format holds them
    // (not under a size limit, which measures 8-bit files).
    void SetDeep(std::shared_ptr<const TDeepPixels> deep) { FDeep = std::move(deep); }
    // The quality the file was written at: the options', or the size limit's choice.
    int Quality() const { return FQuality; }

private:
    const TResizeOptions& FOptions;
    std::unique_ptr<TGraphic> FEncoder;
    std::unique_ptr<TEncodeAsRowsCome> FRowsCome;
    std::shared_ptr<const TDeepPixels> FDeep;
    int FQuality = 0;
};

}  // namespace quorix
