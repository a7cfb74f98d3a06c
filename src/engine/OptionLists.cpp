// Options settled once they are all known, and read and written as whole
// lists in the settings file's sections.
#include "OptionTable.h"

#include "OptionValues.h"
#include "TargetSize.h"

namespace quorix {

void SettleOptions(TOptionEntry& entry) {
    TResizeOptions& o = entry.Options;
    if (entry.Sized && !entry.Moded) o.Mode = TResizeMode::FitWithin;
    if (const std::string problem = NameTemplateProblem(o.NameTemplate); !problem.empty())
        throw EOptionError(problem + " (" + (entry.NameNamed.empty() ? "name" : entry.NameNamed) + ")");
    if (entry.Factor.empty()) return;
    const bool enlarge = o.Mode == TResizeMode::XIncrease;
    (enlarge ? o.IncFactor : o.DecFactor) = ParseFactorValue(entry.FactorNamed, entry.Factor, enlarge);
}

TResizeOptions LoadOptions(const TOrvelIniFile& ini, const std::string& section) {
    TResizeOptions options;
    for (const TOptionRow& row : OptionTable())
        if (row.Load) row.Load(ini, section.empty() ? row.Section : section, options);
    return options;
}

void SaveOptions(TOrvelIniFile& ini, const TResizeOptions& options, const std::string& section) {
    for (const TOptionRow& row : OptionTable())
        if (row.Save) row.Save(ini, section.empty() ? row.Section : section, options);
}

}  // namespace quorix
