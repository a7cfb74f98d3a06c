// The option table: every row read from a key list and a recipe file, kept in
// the settings file under any locale, and recipes kept there too.
#include "OptionTable.h"
#include "Recipe.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <map>

namespace quorix {
namespace {

// A value other than the default for every key; a new row needs one here.
const std::map<std::string, std::string>& Samples() {
    static const std::map<std::string, std::string> samples = {
        {"resize", "320x200>"}, {"mode", "fill"}, {"factor", "3.5"}, {"size", "1024x640"}, {"side", "777"},
        {"only-shrink", "yes"}, {"filter", "Mitchell"}, {"quality", "88"}, {"max-size", "250"}, {"format", "webp"}, {"png-compression", "smallest"},
        {"name", "{name}-{width}"}, {"counter-start", "41"}, {"add-filter-name", "yes"}, {"fast", "yes"}, {"keep-metadata", "no"},
        {"keep-profile", "no"}, {"remove-gps", "no"}, {"srgb", "yes"}, {"keep-date", "yes"}, {"overwrite", "no"},
        {"protect", "no"}, {"focus", "attention"}, {"linear", "yes"}, {"sharpen", "0.7,1.5"}, {"depth", "16"}};
    return samples;
}

// What every stored row says of the options.
std::map<std::string, std::string> Values(const TResizeOptions& options) {
    std::map<std::string, std::string> values;
    for (const TOptionRow& row : OptionTable())
        if (!row.Derived()) values[row.Key] = row.Get(options);
    return values;
}

// Each row's sample through a key list and through a recipe file; the row's
// own value reads back as given, and no other row moves but those it sets.
TEST(OptionTable, EveryRowIsAcceptedInKeyListsAndRecipeFiles) {
    const TResizeOptions base;
    for (const TOptionRow& row : OptionTable()) {
        ASSERT_TRUE(Samples().count(row.Key)) << row.Key << " has no sample value";
        const std::string& sample = Samples().at(row.Key);
        const TResizeOptions listed = ParseOutputKeys(row.Key + "=" + sample, base);
        const TRecipe file = ParseRecipeFile("[one]\n" + row.Key + " = " + sample + "\n");
        ASSERT_EQ(file.Outputs.size(), 1u);
        EXPECT_EQ(Values(RecipeOutputs(file, base).front().Options), Values(listed)) << row.Key;
        if (!row.Derived()) EXPECT_EQ(row.Get(listed), sample) << row.Key;
        else EXPECT_NE(Values(listed), Values(base)) << row.Key;
    }
}

// Every row kept in the settings file and read back, with "." and "," as
// the decimal separator and under a German C library locale.
TEST(OptionTable, EveryRowRoundTripsThroughTheSettingsFile) {
    TResizeOptions changed;
    for (const auto& [key, value] : Samples())
        if (key != "resize") changed = ParseOutputKeys(key + "=" + value, changed);
    changed.IncFactor = 7.25;
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    for (const char separator : {'.', ','}) {
        test::TTempDir dir;
        TOrvelIniFile ini(dir.File("settings.ini"));
        ini.SetDecimalSeparator(separator);
        SaveOptions(ini, changed);
        SaveOptions(ini, TResizeOptions(), "Recipe output");
        const TResizeOptions read = LoadOptions(ini);
        EXPECT_EQ(Values(read), Values(changed)) << separator;
        EXPECT_EQ(read.IncFactor, 7.25);
        EXPECT_EQ(Values(LoadOptions(ini, "Recipe output")), Values(TResizeOptions()));
    }
    if (german) std::setlocale(LC_ALL, "C");
}

// Files written before the table keep their meaning: the window's six mode
// buttons (the last one set wins), a filter out of the list, a format by
// its place in the window's list.
TEST(OptionTable, OlderSettingsFilesReadAsBefore) {
    const struct {
        const char* text;
        TResizeMode mode;
        const char* filter;
        const char* format;
    } cases[] = {
        {"", TResizeMode::XDecrease, "Lanczos3", "jpg"},
        {"[Resize]\nradXDecrease=0\nradSameSize=1\nradFitWithin=1\n", TResizeMode::FitWithin, "Lanczos3", "jpg"},
        {"[Resize]\nradXDecrease=0\n[Settings]\ncmbResampleQ=9\ncmbOutFormat=1\n", TResizeMode::None, "Lanczos3", "png"},
        {"[Settings]\ncmbResampleQ=0\ncmbOutFormat=1\nOutFormat=jxl\n", TResizeMode::XDecrease, "Box", "jxl"},
    };
    for (const auto& c : cases) {
        test::TTempDir dir;
        test::WriteFileBytes(dir.File("s.ini"), std::vector<uint8_t>(c.text, c.text + std::strlen(c.text)));
        const TResizeOptions read = LoadOptions(TOrvelIniFile(dir.File("s.ini")));
        EXPECT_EQ(int(read.Mode), int(c.mode)) << c.text;
        EXPECT_EQ(FindOptionKey("filter")->Get(read), c.filter) << c.text;
        EXPECT_EQ(read.Format, c.format) << c.text;
    }
}

// Recipes kept in the settings file, a key taken out of an output included;
// a file without any has the four ready ones.
TEST(OptionTable, RecipesRoundTripThroughTheSettingsFile) {
    test::TTempDir dir;
    TOrvelIniFile ini(dir.File("settings.ini"));
    std::vector<TRecipe> recipes = LoadRecipes(ini);
    ASSERT_EQ(recipes.size(), 4u);
    EXPECT_EQ(recipes[0].Name, "Web gallery");
    EXPECT_EQ(recipes[3].Name, "Social square");
    EXPECT_EQ(RecipeOutputs(recipes[0], TResizeOptions()).size(), 3u);
    SaveRecipes(ini, recipes);
    recipes[0].Outputs[0].Values.pop_back();  // its name template
    recipes.pop_back();
    SaveRecipes(ini, recipes);
    const std::vector<TRecipe> read = LoadRecipes(ini);
    ASSERT_EQ(read.size(), 3u);
    for (size_t r = 0; r < read.size(); ++r) {
        EXPECT_EQ(read[r].Name, recipes[r].Name);
        ASSERT_EQ(read[r].Outputs.size(), recipes[r].Outputs.size());
        for (size_t k = 0; k < read[r].Outputs.size(); ++k) {
            EXPECT_EQ(read[r].Outputs[k].Key, recipes[r].Outputs[k].Key);
            EXPECT_EQ(OutputKeysOf(read[r].Outputs[k]), OutputKeysOf(recipes[r].Outputs[k]));
        }
    }
    EXPECT_EQ(ParseRecipeFile(RecipeFileText(read[1])).Name, "E-mail");
}

}  // namespace
}  // namespace quorix
