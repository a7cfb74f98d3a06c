#include "OutputSave.h"

#include "QuorixError.h"
#include "SizeBudget.h"
#include "StreamBytes.h"

#include <algorithm>
#include <exception>
#include <sstream>

namespace quorix {

namespace {

bool UnderBudget(const TResizeOptions& options) { return options.MaxKB > 0 && FindOutputFormat(options.Format).Lossy; }

// Gives the encoder the blocks it embeds itself; the lines for the blocks
// left out so far.
std::vector<std::string> GiveMetadata(TGraphic& encoder, const TPhotoMetadata& metadata, const TOutputFormatInfo& format) {
    std::vector<std::string> refused = metadata.LeftOut(format.Carries);
    TEmbeddedBlocks* embedded = encoder.EmbeddedBlocks();
    if (embedded && format.MetadataWay == TMetadataWay::Encoder && !metadata.Empty())
        metadata.Encode(embedded->Profile, embedded->Exif, embedded->Xmp, refused);
    return refused;
}

// The blocks the encoder's library refused, once it ran.
void TakeEncoderRefusals(TGraphic& encoder, std::vector<std::string>& refused) {
    if (const TEmbeddedBlocks* embedded = encoder.EmbeddedBlocks())
        for (const auto& [block, reason] : embedded->Refused) refused.push_back(NotKeptLine(block, reason));
}

// Saves the encoder's file; the blocks its container takes after encoding are
// written into the temporary file before it is put in place, in the file.
void SaveWithMetadata(TGraphic& encoder, const std::string& fileName, const TPhotoMetadata& metadata,
                      const TOutputFormatInfo& format, std::vector<std::string>& refused) {
    if (format.MetadataWay != TMetadataWay::IntoFile || metadata.Empty())
        return encoder.SaveToFile(fileName);  // a bare source gives the bare file, byte for byte
    encoder.SaveToFile(fileName, [&](const std::string& temp) { metadata.WriteIntoFile(temp, format.Carries, refused); });
}

// A file already made, saved as any graphic is.
class TStoredBytes : public TGraphic {
public:
    explicit TStoredBytes(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
    const char* ClassName() const override { return "TStoredBytes"; }
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void LoadFromStream(std::istream&) override { throw EInvalidGraphic("Cannot load this graphic"); }
    void SaveToStream(std::ostream& stream) override { WriteAllBytes(stream, FBytes.data(), FBytes.size()); }

private:
    std::vector<uint8_t> FBytes;
};

// The whole output file for the picture at a quality, metadata included.
std::vector<uint8_t> EncodeAt(const TBitmap& working, const TOutputFormatInfo& format, const TPhotoMetadata& metadata,
                              int quality, TEncodeEffort effort, std::vector<std::string>& refused) {
    std::unique_ptr<TGraphic> encoder = format.Create(quality);
    encoder->SetEffort(effort);
    refused = GiveMetadata(*encoder, metadata, format);
    encoder->Assign(working);
    std::ostringstream out;
    encoder->SaveToStream(out);
    TakeEncoderRefusals(*encoder, refused);
    const std::string bytes = out.str();
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    if (format.MetadataWay == TMetadataWay::IntoFile && !metadata.Empty())
        file = metadata.WriteInto(file, format.Carries, refused);
    return file;
}

}  // namespace

// Encodes the working bitmap's rows while the resampler is still making the
// later ones, where the output's format takes rows as they come. An error of
// the encoder is kept and raised when saving.
class TEncodeAsRowsCome {
public:
    TEncodeAsRowsCome(TGraphic& encoder, const TBitmap& rows) : FRows(rows) {
        try {
            FEncoder = encoder.OpenRowEncoder(rows.Width(), rows.Height());
        } catch (...) {
            FError = std::current_exception();
        }
    }
    // False for a format that takes only the whole picture.
    bool Streams() const { return FEncoder || FError; }
    TRowsDone Callback() {
        return [this](int done) { WriteUpTo(done); };
    }
    // The rows the resampler has not reported, then the end of the data.
    void Finish() {
        WriteUpTo(FRows.Height());
        if (FError) std::rethrow_exception(FError);
        FEncoder->Finish();
    }

private:
    void WriteUpTo(int done) noexcept {
        if (FError) return;
        try {
            const uint8_t* rows[16];
            while (FEncoder->RowsWritten() < done) {
                const int first = FEncoder->RowsWritten(), n = std::min(16, done - first);
                for (int r = 0; r < n; ++r) rows[r] = FRows.ScanLine(first + r);
                FEncoder->Write(rows, n);
            }
        } catch (...) {
            FError = std::current_exception();
        }
    }

    const TBitmap& FRows;
    std::unique_ptr<TRowEncoder> FEncoder;
    std::exception_ptr FError;
};

TOutputSave::TOutputSave(const TResizeOptions& options)
    : FOptions(options), FEncoder(FindOutputFormat(options.Format).Create(options.Quality)), FQuality(options.Quality) {
    FEncoder->SetEffort(options.PngEffort);
}

TOutputSave::~TOutputSave() = default;

bool TOutputSave::CanStream() const { return !UnderBudget(FOptions); }

TRowsDone TOutputSave::StreamRows(const TBitmap& working) {
    FRowsCome = std::make_unique<TEncodeAsRowsCome>(*FEncoder, working);
    if (FRowsCome->Streams()) return FRowsCome->Callback();
    FRowsCome.reset();
    return TRowsDone();
}

bool TOutputSave::Save(TBitmap& working, const TPhotoMetadata& metadata, const std::string& fileName,
                       std::vector<std::string>& refused) {
    const TOutputFormatInfo& format = FindOutputFormat(FOptions.Format);
    if (UnderBudget(FOptions)) {
        TBudgetResult fitted = FitToBudget(FOptions.Quality, int64_t{FOptions.MaxKB} * 1024, [&](int quality) {
            return EncodeAt(working, format, metadata, quality, FOptions.PngEffort, refused);
        });
        TStoredBytes(std::move(fitted.Bytes)).SaveToFile(fileName);
        FQuality = fitted.Quality;
        return fitted.Reached;
    }
    std::vector<std::string> left = GiveMetadata(*FEncoder, metadata, format);
    refused.insert(refused.end(), left.begin(), left.end());
    if (FRowsCome)
        FRowsCome->Finish();
    else
        FEncoder->TakeBitmap(working);  // the encoder holds the only copy of the pixels
    if (FDeep && !FRowsCome) FEncoder->TakeDeep(FDeep);
    SaveWithMetadata(*FEncoder, fileName, metadata, format, refused);
    TakeEncoderRefusals(*FEncoder, refused);
    return true;
}

}  // namespace quorix
