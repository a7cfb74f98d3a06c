#include "RunNames.h"

#include "RunSources.h"

namespace quorix {

std::string NumberedName(const std::string& name, int n) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : name.size();
    return name.substr(0, at) + " (" + std::to_string(n) + ")" + name.substr(at);
}

std::string TRunNames::FirstFree(const std::string& wanted) {
    std::string name = wanted;
    for (int n = 2; FTaken.count(NameHash(name)); ++n) name = NumberedName(wanted, n);
    FTaken.insert(NameHash(name));
    return name;
}

std::string TRunNames::Plan(size_t index, const std::string& wanted) {
    std::lock_guard<std::mutex> lock(FMutex);
    TPlan& plan = FPlans[index];
    plan.Wanted = wanted;
    plan.Given = FirstFree(wanted);
    return plan.Given;
}

std::string TRunNames::Final(size_t index, const std::string& wanted) {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FPlans.find(index);
    if (it != FPlans.end() && it->second.Wanted == wanted) return it->second.Given;
    // Planned from the header, the picture wants another name now: the planned one is let go.
    if (it != FPlans.end()) FTaken.erase(NameHash(it->second.Given));
    const std::string given = FirstFree(wanted);
    FPlans[index] = {wanted, given};
    return given;
}

void TRunNames::Done(size_t index) {
    std::lock_guard<std::mutex> lock(FMutex);
    FPlans.erase(index);
}

}  // namespace quorix
