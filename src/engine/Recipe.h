// Recipes: several outputs made from each picture, each a list of the option
// table's keys over the options of the run (or of the window's pages). A
// recipe file is INI text, one section per output:
//   [large]
//   mode=fit
//   size=2048x2048
#pragma once

#include "OptionTable.h"

#include <string>
#include <utility>
#include <vector>

namespace quorix {

struct TRecipeOutput {
    std::string Key;  // its name, which the log and --json give
    std::vector<std::pair<std::string, std::string>> Values;  // key, value
};

struct TRecipe {
    std::string Name;
    std::vector<TRecipeOutput> Outputs;
};

// "key=value,key=value" (a yes/no key alone means yes) as an output; raises
// EOptionError naming an unknown key.
TRecipeOutput ParseOutputKeyValues(const std::string& list);
std::string OutputKeysOf(const TRecipeOutput& output);
// The options of one key list over base.
TResizeOptions ParseOutputKeys(const std::string& list, const TResizeOptions& base);
// The options of each output over base; raises EOptionError naming the key
// and the output where a value is wrong.
std::vector<TPictureOutput> RecipeOutputs(const TRecipe& recipe, const TResizeOptions& base);
// Raises EOptionError naming the line of an unknown key or of a line that is
// neither a section, a key=value nor a comment.
TRecipe ParseRecipeFile(const std::string& text);
std::string RecipeFileText(const TRecipe& recipe);

// "Web gallery", "E-mail" and "Phone to archive".
std::vector<TRecipe> ReadyRecipes();

// The recipes of the settings file (the ready ones when it has none).
std::vector<TRecipe> LoadRecipes(const TOrvelIniFile& ini);
void SaveRecipes(TOrvelIniFile& ini, const std::vector<TRecipe>& recipes);

}  // namespace quorix
