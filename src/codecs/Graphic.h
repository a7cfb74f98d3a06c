// The picture holder and the format registry: a file's extension picks the
// graphic class that decodes it.
#pragma once

#include "OrvelGraphics.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorix {

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    std::string Extension;  // lower case, no dot
    std::string Description;
    TGraphicFactory Create;
    std::string Family;  // as lists show it: "JPEG 2000" for jp2, j2k and jpc
    std::string Mime;    // the file's MIME type, as the desktop knows it
};

// Extension to graphic class, case-insensitive; the entry registered last wins.
class TFileFormats {
public:
    void Add(const std::string& extension, const std::string& description, TGraphicFactory create,
             const std::string& family = "", const std::string& mime = "");
    const TFileFormat* Find(const std::string& extension) const;
    const std::vector<TFileFormat>& Entries() const { return FEntries; }

private:
    std::vector<TFileFormat> FEntries;
};

// The registry, created on first use with every format the program reads.
TFileFormats& FileFormats();
void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicFactory create);

template <class T>
TGraphicFactory GraphicFactory() {
    return [] { return std::unique_ptr<TGraphic>(new T()); };
}

// What the pipeline writes: each format's encoder, made for a quality, beside
// how the command line, the window and the output's name know it.
using TEncoderFactory = std::function<std::unique_ptr<TGraphic>(int quality)>;
// The blocks of metadata a photo may carry besides its pixels.
enum TMetadataBlock : unsigned { mbProfile = 1, mbExif = 2, mbXmp = 4, mbIptc = 8, mbAll = 15 };
// How an output format's file takes them.
enum class TMetadataWay {
    None,     // it carries nothing
    Encoder,  // the encoder embeds them (TRasterImage::Embedded)
    IntoFile  // written into the finished file (exiv2, or libwebp's mux)
};
struct TOutputFormatInfo {
    std::string Key;        // as quorix-resize names it: "jpg"
    std::string Name;       // as the window lists it: "JPEG"
    std::string Extension;  // of the output file, with its dot
    bool Lossy = false;     // the quality applies
    bool InWindow = true;   // offered by the window, in this order
    TEncoderFactory Create;
    TMetadataWay MetadataWay = TMetadataWay::None;
    unsigned Carries = 0;  // the TMetadataBlock bits its container holds
    // What saving holds beside the output's 24-bit pixels, in bytes a pixel:
    // the library's own copies of the picture and the file it builds.
    double SaveBytesPerPixel = 0;
    bool Holds16 = false;  // writes 16 bits a sample when given them (TakeDeep)
};
const std::vector<TOutputFormatInfo>& OutputFormats();
// The format of that key; JPEG for a key nobody registered.
const TOutputFormatInfo& FindOutputFormat(const std::string& key);
// The formats the window offers, in the order of its list.
std::vector<const TOutputFormatInfo*> WindowOutputFormats();

// What the desktop and the lists learn from the registry, so that no list of
// formats is kept by hand: the MIME types read, each once, in the order
// registered; the families ("JPEG, PNG, ..."); the explorer's filter
// ("Show all supported pictures (...)|*.jpeg;...|JPEG|*.jpeg;*.jpg|...").
std::vector<std::string> PictureMimeTypes();
std::vector<std::string> PictureFamilies();
std::string ExplorerFilter();

// The text after the last "." of the file's own name; empty without one.
std::string PictureExtension(const std::string& fileName);

// The picture's size and cost as its header says, from the file's first
// megabyte; false when the format is unknown or the header cannot be read there.
bool PeekPictureFile(const std::string& fileName, TGraphic::TPeek& peek);

// Owns at most one graphic.
class TPicture {
public:
    TGraphic* Graphic() const { return FGraphic.get(); }
    std::unique_ptr<TGraphic> TakeGraphic() { return std::move(FGraphic); }  // without OnChange
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Picks the class by extension and loads the file within limits; on any
    // failure the previous graphic stays and the error passes to the caller.
    void LoadFromFile(const std::string& fileName, const TDecodeLimits& limits = TDecodeLimits());

    std::function<void()> OnChange;

private:
    std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace quorix
