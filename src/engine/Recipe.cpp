#include "Recipe.h"

#include <algorithm>
#include <sstream>

namespace quorix {

namespace {

const TOptionRow& RowOf(const std::string& key, const std::string& where) {
    const TOptionRow* row = FindOptionKey(key);
    if (!row) throw EOptionError("unknown key '" + key + "' " + where);
    return *row;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

TRecipeOutput Output(std::string key, std::vector<std::pair<std::string, std::string>> values) {
    return {std::move(key), std::move(values)};
}

}  // namespace

TRecipeOutput ParseOutputKeyValues(const std::string& list) {
    TRecipeOutput output;
    std::stringstream items(list);
    for (std::string item; std::getline(items, item, ',');) {
        if (item.empty()) continue;
        // A part that begins with a digit is no key: it goes on the value
        // before it (sharpen=0.8,1.2).
        if (item[0] >= '0' && item[0] <= '9' && !output.Values.empty()) {
            output.Values.back().second += "," + item;
            continue;
        }
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const TOptionRow& row = RowOf(key, "in output key list '" + list + "'");
        if (equals == std::string::npos && row.FlagValue.empty())
            throw EOptionError("key '" + key + "' needs a value (" + key + "=...) in output key list '" + list + "'");
        output.Values.emplace_back(key, equals == std::string::npos ? "yes" : item.substr(equals + 1));
    }
    return output;
}

std::string OutputKeysOf(const TRecipeOutput& output) {
    std::string list;
    for (const auto& [key, value] : output.Values) list += (list.empty() ? "" : ",") + key + "=" + value;
    return list;
}

std::vector<TPictureOutput> RecipeOutputs(const TRecipe& recipe, const TResizeOptions& base) {
    std::vector<TPictureOutput> outputs;
    for (const TRecipeOutput& output : recipe.Outputs) {
        TOptionEntry entry;
        entry.Options = base;
        try {
            for (const auto& [key, value] : output.Values) RowOf(key, "").Set(entry, value, key);
            SettleOptions(entry);
        } catch (const EOptionError& e) {
            throw EOptionError(output.Key.empty() ? e.what() : std::string(e.what()) + " (output '" + output.Key + "')");
        }
        outputs.push_back({output.Key, entry.Options});
    }
    return outputs;
}

TResizeOptions ParseOutputKeys(const std::string& list, const TResizeOptions& base) {
    return RecipeOutputs({"", {ParseOutputKeyValues(list)}}, base).front().Options;
}

TRecipe ParseRecipeFile(const std::string& text) {
    TRecipe recipe;
    std::stringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = Trim(line);
        const std::string where = "on line " + std::to_string(number);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            recipe.Outputs.push_back(Output(Trim(line.substr(1, line.size() - 2)), {}));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) throw EOptionError("expected [output] or key=value " + where);
        const std::string key = Trim(line.substr(0, equals));
        if (key == "name" && recipe.Outputs.empty()) {  // the recipe's own name, before its first output
            recipe.Name = Trim(line.substr(equals + 1));
            continue;
        }
        RowOf(key, where);
        if (recipe.Outputs.empty()) throw EOptionError("key '" + key + "' before the first [output] " + where);
        recipe.Outputs.back().Values.emplace_back(key, Trim(line.substr(equals + 1)));
    }
    if (recipe.Outputs.empty()) throw EOptionError("the recipe has no [output] section");
    return recipe;
}

std::string RecipeFileText(const TRecipe& recipe) {
    std::string text = "; Quorix Image Resizer recipe: one section per output, keys as quorix-resize --output takes them\n";
    if (!recipe.Name.empty()) text += "name=" + recipe.Name + "\n";
    for (const TRecipeOutput& output : recipe.Outputs) {
        text += "\n[" + output.Key + "]\n";
        for (const auto& [key, value] : output.Values) text += key + "=" + value + "\n";
    }
    return text;
}

std::vector<TRecipe> ReadyRecipes() {
    return {
        {"Web gallery",
         {Output("large", {{"mode", "fit"}, {"size", "2048x2048"}, {"only-shrink", "yes"}, {"format", "jpg"},
                           {"quality", "82"}, {"linear", "yes"}, {"sharpen", "standard"}, {"name", "{name}-large"}}),
          Output("web", {{"mode", "fit"}, {"size", "1024x1024"}, {"only-shrink", "yes"}, {"format", "webp"},
                         {"linear", "yes"}, {"sharpen", "standard"}, {"name", "{name}-web"}}),
          Output("thumb", {{"mode", "fit"}, {"size", "320x320"}, {"only-shrink", "yes"}, {"format", "jpg"},
                           {"fast", "yes"}, {"linear", "yes"}, {"sharpen", "standard"}, {"name", "{name}-thumb"}})}},
        {"E-mail",
         {Output("e-mail", {{"mode", "fit"}, {"size", "1600x1600"}, {"only-shrink", "yes"}, {"format", "jpg"},
                            {"max-size", "500"}})}},
        {"Phone to archive",
         {Output("archive", {{"mode", "fit"}, {"size", "32768x32768"}, {"only-shrink", "yes"}, {"format", "jxl"},
                             {"quality", "90"}, {"keep-metadata", "yes"}, {"keep-profile", "yes"},
                             {"remove-gps", "no"}, {"keep-date", "yes"}})}},
        {"Social square",
         {Output("square", {{"mode", "fill"}, {"size", "1080x1080"}, {"focus", "attention"}, {"format", "jpg"},
                            {"quality", "85"}, {"sharpen", "standard"}, {"name", "{name}-square"}})}},
    };
}

std::vector<TRecipe> LoadRecipes(const TOrvelIniFile& ini) {
    if (!ini.ValueExists("Recipes", "Count")) return ReadyRecipes();
    std::vector<TRecipe> recipes;
    const int count = std::clamp(ini.ReadInteger("Recipes", "Count", 0), 0, 1000);
    for (int r = 1; r <= count; ++r) {
        const std::string section = "Recipe" + std::to_string(r);
        TRecipe recipe{ini.ReadString(section, "Name", ""), {}};
        const int outputs = std::clamp(ini.ReadInteger(section, "Outputs", 0), 0, 100);
        for (int k = 1; k <= outputs; ++k) {
            const std::string output = "Output" + std::to_string(k);
            TRecipeOutput made{ini.ReadString(section, output, output), {}};
            const int keys = std::clamp(ini.ReadInteger(section, output + ".Keys", 0), 0, 100);
            for (int i = 1; i <= keys; ++i) {
                const std::string pair = ini.ReadString(section, output + "." + std::to_string(i), "");
                const size_t equals = pair.find('=');
                if (equals != std::string::npos) made.Values.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
            }
            recipe.Outputs.push_back(std::move(made));
        }
        if (!recipe.Name.empty()) recipes.push_back(std::move(recipe));
    }
    return recipes;
}

void SaveRecipes(TOrvelIniFile& ini, const std::vector<TRecipe>& recipes) {
    ini.WriteInteger("Recipes", "Count", static_cast<int>(recipes.size()));
    for (size_t r = 0; r < recipes.size(); ++r) {
        const std::string section = "Recipe" + std::to_string(r + 1);
        ini.WriteString(section, "Name", recipes[r].Name);
        ini.WriteInteger(section, "Outputs", static_cast<int>(recipes[r].Outputs.size()));
        for (size_t k = 0; k < recipes[r].Outputs.size(); ++k) {
            const std::string output = "Output" + std::to_string(k + 1);
            ini.WriteString(section, output, recipes[r].Outputs[k].Key);
            // Its keys in their order, numbered: what an output held before
            // beyond its count is not read.
            const auto& values = recipes[r].Outputs[k].Values;
            ini.WriteInteger(section, output + ".Keys", static_cast<int>(values.size()));
            for (size_t i = 0; i < values.size(); ++i)
                ini.WriteString(section, output + "." + std::to_string(i + 1), values[i].first + "=" + values[i].second);
        }
    }
}

}  // namespace quorix
