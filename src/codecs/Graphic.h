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
};

// Extension to graphic class, case-insensitive; the entry registered last wins.
class TFileFormats {
public:
    void Add(const std::string& extension, const std::string& description, TGraphicFactory create);
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

// The text after the last "." of the file's own name; empty without one.
std::string PictureExtension(const std::string& fileName);

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
