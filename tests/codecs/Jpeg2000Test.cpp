#include "Graphic.h"
#include "Jp2Boxes.h"
#include "Jpeg2000Bitmap.h"
#include "Png.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <openjpeg.h>

#include <cstring>
#include <sstream>

namespace quorix {
namespace {

using test::Bgr;
using test::TTempDir;

struct TComponent {
    int Precision = 8;
    bool Signed = false;
    int Dx = 1, Dy = 1;
    std::vector<int32_t> Samples;  // (width / dx) x (height / dy), rows from the top
};

OPJ_SIZE_T Append(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* out = static_cast<std::vector<uint8_t>*>(user);
    out->insert(out->end(), static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + bytes);
    return bytes;
}
OPJ_OFF_T SkipOut(OPJ_OFF_T bytes, void* user) {
    auto* out = static_cast<std::vector<uint8_t>*>(user);
    out->resize(out->size() + static_cast<size_t>(bytes));
    return bytes;
}
OPJ_BOOL SeekOut(OPJ_OFF_T, void*) { return OPJ_FALSE; }

// A lossless raw codestream of the components, made by OpenJPEG's encoder.
std::vector<uint8_t> Codestream(int width, int height, const std::vector<TComponent>& components) {
    std::vector<opj_image_cmptparm_t> parameters(components.size());
    for (size_t i = 0; i < components.size(); ++i) {
        opj_image_cmptparm_t& p = parameters[i];
        std::memset(&p, 0, sizeof p);
        p.dx = components[i].Dx;
        p.dy = components[i].Dy;
        p.w = (width + p.dx - 1) / p.dx;
        p.h = (height + p.dy - 1) / p.dy;
        p.prec = components[i].Precision;
        p.sgnd = components[i].Signed;
    }
    opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(components.size()), parameters.data(), OPJ_CLRSPC_UNSPECIFIED);
    image->x1 = width;
    image->y1 = height;
    for (size_t i = 0; i < components.size(); ++i)
        std::copy(components[i].Samples.begin(), components[i].Samples.end(), image->comps[i].data);
    opj_cparameters_t cp;
    opj_set_default_encoder_parameters(&cp);
    cp.numresolution = 2;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    std::vector<uint8_t> out;
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &out, nullptr);
    opj_stream_set_write_function(stream, Append);
    opj_stream_set_skip_function(stream, SkipOut);
    opj_stream_set_seek_function(stream, SeekOut);
    bool ok = opj_setup_encoder(codec, &cp, image) && opj_start_compress(codec, image, stream) &&
              opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    EXPECT_TRUE(ok);
    return out;
}

void Box(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& content) {
    uint32_t length = static_cast<uint32_t>(8 + content.size());
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(length >> s));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), content.begin(), content.end());
}

// A JP2 file around a codestream, with a colour box (colr) and, where given, channel definitions.
std::vector<uint8_t> Jp2File(const std::vector<uint8_t>& codestream, int width, int height, int components,
                             int precision, uint32_t enumcs, const std::vector<TJp2ChannelDef>& channels) {
    std::vector<uint8_t> file;
    Box(file, "jP  ", {0x0D, 0x0A, 0x87, 0x0A});
    Box(file, "ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '});
    std::vector<uint8_t> header, ihdr = {
        static_cast<uint8_t>(height >> 24), static_cast<uint8_t>(height >> 16), static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
        static_cast<uint8_t>(width >> 24), static_cast<uint8_t>(width >> 16), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
        0, static_cast<uint8_t>(components), static_cast<uint8_t>(precision - 1), 7, 0, 0};
    Box(header, "ihdr", ihdr);
    Box(header, "colr", {1, 0, 0, static_cast<uint8_t>(enumcs >> 24), static_cast<uint8_t>(enumcs >> 16),
                         static_cast<uint8_t>(enumcs >> 8), static_cast<uint8_t>(enumcs)});
    if (!channels.empty()) {
        std::vector<uint8_t> cdef = {0, static_cast<uint8_t>(channels.size())};
        for (const TJp2ChannelDef& c : channels)
            for (uint16_t v : {c.Channel, c.Type, c.Association}) {
                cdef.push_back(static_cast<uint8_t>(v >> 8));
                cdef.push_back(static_cast<uint8_t>(v));
            }
        Box(header, "cdef", cdef);
    }
    Box(file, "jp2h", header);
    Box(file, "jp2c", codestream);
    return file;
}

TComponent Flat(int width, int height, int32_t value, int precision = 8) {
    TComponent c;
    c.Precision = precision;
    c.Samples.assign(static_cast<size_t>(width) * height, value);
    return c;
}

TJpeg2000Bitmap Load(const std::vector<uint8_t>& bytes) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    TJpeg2000Bitmap bitmap;
    bitmap.LoadFromStream(in);
    return bitmap;
}

std::vector<int> Pixel4(const TBitmap& b, int x, int y) {
    const uint8_t* p = b.ScanLine(y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

TEST(Jpeg2000, TheSignatureDecidesNotTheExtension) {
    TTempDir dir;
    std::vector<uint8_t> rgb = Codestream(8, 8, {Flat(8, 8, 200), Flat(8, 8, 100), Flat(8, 8, 50)});
    test::WriteFileBytes(dir.File("photo.j2k"), Jp2File(rgb, 8, 8, 3, 8, 16, {}));
    test::WriteFileBytes(dir.File("raw.jpc"), rgb);
    for (const char* name : {"photo.j2k", "raw.jpc"}) {
        TPicture picture;
        picture.LoadFromFile(dir.File(name));
        EXPECT_STREQ(picture.Graphic()->ClassName(), "TJpeg2000Bitmap");
        TBitmap b = test::LoadAs24(dir.File(name));
        EXPECT_EQ(Bgr(b, 3, 3), (std::vector<int>{50, 100, 200})) << name << ": red, green, blue in component order";
    }
    TPngImage png;
    png.Assign(test::MakeGradient(4, 4));
    png.SaveToFile(dir.File("fake.jp2"));
    try {
        TPicture picture;
        picture.LoadFromFile(dir.File("fake.jp2"));
        FAIL();
    } catch (const EJpeg2000Error& e) {
        EXPECT_STREQ(e.what(), "Unknown JPEG 2000 file type");
    }
    EXPECT_EQ(FileFormats().Find("JPC")->Description, "JPEG 2000 Image");
}

TEST(Jpeg2000, ComponentRolesAndSampleScaling) {
    const int w = 4, h = 2;
    // 16-bit grey: 65535 -> 255, 32768 -> 127.
    TComponent grey = Flat(w, h, 65535, 16);
    grey.Samples[1] = 32768;
    TJpeg2000Bitmap g = Load(Jp2File(Codestream(w, h, {grey}), w, h, 1, 16, 17, {{0, 0, 1}}));
    ASSERT_EQ(g.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(g.ScanLine(0)[0], 255);
    EXPECT_EQ(g.ScanLine(0)[1], 127);
    EXPECT_EQ(g.Palette()[127].Green, 127);
    // sYCC 128/128/128 is grey 128.
    TJpeg2000Bitmap s = Load(Jp2File(Codestream(w, h, {Flat(w, h, 128), Flat(w, h, 128), Flat(w, h, 128)}), w, h, 3, 8, 18, {}));
    EXPECT_EQ(Bgr(s, 1, 1), (std::vector<int>{128, 128, 128}));
    // sYCC with colour: Y 100, Cb 128, Cr 228 gives red 240.2 -> 240.
    TJpeg2000Bitmap s2 = Load(Jp2File(Codestream(w, h, {Flat(w, h, 100), Flat(w, h, 128), Flat(w, h, 228)}), w, h, 3, 8, 18, {}));
    EXPECT_EQ(Bgr(s2, 0, 0), (std::vector<int>{100, 29, 240}));
    // RGB with an opacity channel: 32 bits, the alpha byte from the fourth component.
    std::vector<TComponent> rgba = {Flat(w, h, 10), Flat(w, h, 20), Flat(w, h, 30), Flat(w, h, 77)};
    TJpeg2000Bitmap a = Load(Jp2File(Codestream(w, h, rgba), w, h, 4, 8, 16, {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 1, 0}}));
    ASSERT_EQ(a.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(Pixel4(a, 2, 1), (std::vector<int>{30, 20, 10, 77}));
    // Channel definitions that list the components out of order put each where its association says.
    TJpeg2000Bitmap swapped = Load(Jp2File(Codestream(w, h, {Flat(w, h, 30), Flat(w, h, 20), Flat(w, h, 10)}), w, h, 3, 8, 16,
                                           {{0, 0, 3}, {1, 0, 2}, {2, 0, 1}}));
    EXPECT_EQ(Bgr(swapped, 0, 0), (std::vector<int>{30, 20, 10}));
    // Two components without definitions: 8-bit grey from the first.
    TJpeg2000Bitmap two = Load(Codestream(w, h, {Flat(w, h, 99), Flat(w, h, 3)}));
    ASSERT_EQ(two.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(two.ScanLine(1)[3], 99);
    // Signed 8-bit samples are shifted into 0 .. 255.
    TComponent signedGrey = Flat(w, h, -128);
    signedGrey.Signed = true;
    signedGrey.Samples[2] = 127;
    TJpeg2000Bitmap sg = Load(Codestream(w, h, {signedGrey}));
    EXPECT_EQ(sg.ScanLine(0)[0], 0);
    EXPECT_EQ(sg.ScanLine(0)[2], 255);
}

TEST(Jpeg2000, ComponentsWithoutRolesAndRolesOutsideThePixel) {
    const int w = 4, h = 2;
    // Four components without roles are red, green, blue and opacity, in that order.
    TJpeg2000Bitmap four = Load(Codestream(w, h, {Flat(w, h, 10), Flat(w, h, 20), Flat(w, h, 30), Flat(w, h, 40)}));
    EXPECT_EQ(Pixel4(four, 0, 0), (std::vector<int>{30, 20, 10, 40}));
    // An opacity role in a three-component picture has no byte: it is skipped.
    TJpeg2000Bitmap three = Load(Jp2File(Codestream(w, h, {Flat(w, h, 10), Flat(w, h, 20), Flat(w, h, 30)}), w, h, 3, 8, 16,
                                         {{0, 0, 1}, {1, 0, 2}, {2, 1, 0}}));
    EXPECT_EQ(Bgr(three, 3, 1), (std::vector<int>{0, 20, 10}));
    // A colour role other than Y in a one-component picture (greyscale has none) keeps to the pixel too.
    TJpeg2000Bitmap one = Load(Jp2File(Codestream(w, h, {Flat(w, h, 66)}), w, h, 1, 8, 16, {{0, 0, 1}}));
    EXPECT_EQ(one.ScanLine(0)[0], 0);
    const struct { OPJ_COMPONENT_TYPE role; int index, bytes; TJp2ColourSpace space; int expected; } offsets[] = {
        {COMPTYPE_UNKNOWN, 0, 3, TJp2ColourSpace::None, 2}, {COMPTYPE_UNKNOWN, 2, 3, TJp2ColourSpace::None, 0},
        {COMPTYPE_UNKNOWN, 0, 1, TJp2ColourSpace::None, 0}, {COMPTYPE_UNKNOWN, 3, 4, TJp2ColourSpace::None, 3},
        {COMPTYPE_Y, 0, 3, TJp2ColourSpace::Sycc, 2},        {COMPTYPE_Y, 0, 1, TJp2ColourSpace::Grey, 0},
        {COMPTYPE_CB, 1, 3, TJp2ColourSpace::Sycc, 1},       {COMPTYPE_CR, 2, 3, TJp2ColourSpace::Sycc, 0},
        {COMPTYPE_OPACITY, 3, 4, TJp2ColourSpace::Srgb, 3}};
    for (const auto& o : offsets) EXPECT_EQ(ChannelDestOffset(o.role, o.index, o.bytes, o.space), o.expected) << o.role;
}

TEST(Jpeg2000, SubsampledComponentsAreEnlargedByReplication) {
    const int w = 5, h = 3;
    TComponent luma = Flat(w, h, 100);
    TComponent half;
    half.Dx = 2;
    half.Dy = 2;
    half.Samples = {1, 2, 3, 4, 5, 6};  // 3 x 2 samples
    TJpeg2000Bitmap b = Load(Codestream(w, h, {luma, half, Flat(w, h, 7)}));
    EXPECT_EQ(b.ScanLine(0)[3 * 0 + 1], 1);
    EXPECT_EQ(b.ScanLine(1)[3 * 1 + 1], 1);
    EXPECT_EQ(b.ScanLine(0)[3 * 2 + 1], 2);
    EXPECT_EQ(b.ScanLine(0)[3 * 4 + 1], 3);
    EXPECT_EQ(b.ScanLine(2)[3 * 3 + 1], 5);
}

TEST(Jpeg2000, SavingRoundTripsAndWritesTheChannelDefinitions) {
    TBitmap picture = test::MakeNoise(64, 48, 3);
    TJpeg2000Bitmap lossless;
    lossless.Assign(picture);
    lossless.LosslessCompression = true;
    std::ostringstream out;
    lossless.SaveToStream(out);
    std::string bytes = out.str();
    TJp2Header header = ReadJp2Header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(header.EnumeratedColourSpace, 16u);
    ASSERT_EQ(header.Channels.size(), 3u);
    EXPECT_EQ(header.Channels[2].Association, 3);
    TJpeg2000Bitmap back = Load(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(Bgr(back, x, y), Bgr(picture, x, y));

    TJpeg2000Bitmap noisy;  // quality 80 by default: much smaller than lossless
    noisy.Assign(picture);
    std::ostringstream noisyOut;
    noisy.SaveToStream(noisyOut);
    EXPECT_LT(noisyOut.str().size() * 4, bytes.size());
    picture = test::MakeGradient(64, 48);
    TJpeg2000Bitmap lossy;
    lossy.Assign(picture);
    std::ostringstream small;
    lossy.SaveToStream(small);
    std::string s = small.str();
    TJpeg2000Bitmap near = Load(std::vector<uint8_t>(s.begin(), s.end()));
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int b = 0; b < 64 * 3; ++b) worst = std::max(worst, std::abs(near.ScanLine(y)[b] - picture.ScanLine(y)[b]));
    EXPECT_LT(worst, 40);

    TJpeg2000Bitmap alpha;  // 32 bits: the fourth channel is written as opacity
    alpha.SetPixelFormat(TPixelFormat::pf32bit);
    alpha.SetSize(40, 40);
    alpha.ScanLine(5)[4 * 5 + 3] = 200;
    alpha.LosslessCompression = true;
    std::ostringstream withAlpha;
    alpha.SaveToStream(withAlpha);
    std::string a = withAlpha.str();
    TJp2Header alphaHeader = ReadJp2Header(reinterpret_cast<const uint8_t*>(a.data()), a.size());
    ASSERT_EQ(alphaHeader.Channels.size(), 4u);
    EXPECT_EQ(alphaHeader.Channels[3].Type, 1);
    EXPECT_EQ(alphaHeader.Channels[3].Association, 0);
    EXPECT_EQ(Pixel4(Load(std::vector<uint8_t>(a.begin(), a.end())), 5, 5)[3], 200);

    TJpeg2000Bitmap tiny;  // too small for six resolution levels
    tiny.Assign(test::MakeGradient(5, 3));
    std::ostringstream tinyOut;
    EXPECT_NO_THROW(tiny.SaveToStream(tinyOut));
}

TEST(Jpeg2000, RateOfTheQualityLayer) {
    EXPECT_NEAR(Jpeg2000Ratio(80, 3, 100 * 100), 9.14f, 0.01f);
    EXPECT_NEAR(Jpeg2000Ratio(100, 3, 100 * 100), 2.12f, 0.01f);
    EXPECT_NEAR(Jpeg2000Ratio(1, 3, 100 * 100), 28.2f, 0.05f);
}

TEST(Jpeg2000, BrokenAndHugeFilesFailCleanly) {
    std::vector<uint8_t> good = Jp2File(Codestream(16, 16, {Flat(16, 16, 1), Flat(16, 16, 2), Flat(16, 16, 3)}), 16, 16, 3, 8, 16, {});
    TJpeg2000Bitmap previous = Load(good);
    for (double part : {0.1, 0.3, 0.6, 0.9}) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<size_t>(good.size() * part));
        std::istringstream in(std::string(cut.begin(), cut.end()));
        try {
            previous.LoadFromStream(in);
            ADD_FAILURE() << "cut at " << part << " loaded";
        } catch (const EJpeg2000Error& e) {
            EXPECT_STREQ(e.what(), "JPEG 2000 image decoding failed");
        }
        EXPECT_EQ(previous.Width(), 16) << "the bitmap keeps its content";
    }
    std::vector<uint8_t> shortData(good.begin(), good.begin() + 6);
    EXPECT_THROW(Load(shortData), EJpeg2000Error);
    // A codestream announcing 40000 x 40000 pixels is refused before decoding.
    std::vector<uint8_t> huge = Codestream(16, 16, {Flat(16, 16, 1)});
    const uint8_t size[8] = {0, 0, 0x9C, 0x40, 0, 0, 0x9C, 0x40};
    std::copy(size, size + 8, huge.begin() + 8);  // Xsiz and Ysiz of the SIZ segment
    try {
        Load(huge);
        FAIL();
    } catch (const EJpeg2000Error& e) {
        EXPECT_STREQ(e.what(), "JPEG 2000 image decoding failed");
    }
}

TEST(Jpeg2000, StreamStandsAfterWhatTheDecoderRead) {
    std::vector<uint8_t> data = Codestream(8, 8, {Flat(8, 8, 5)});
    std::string text = "lead" + std::string(data.begin(), data.end());
    std::istringstream in(text);
    in.seekg(4);
    TJpeg2000Bitmap bitmap;
    bitmap.LoadFromStream(in);
    EXPECT_GT(static_cast<size_t>(in.tellg()), 4u);
    EXPECT_LE(static_cast<size_t>(in.tellg()), text.size());
    EXPECT_EQ(bitmap.ScanLine(7)[7], 5);
}

}  // namespace
}  // namespace quorix
