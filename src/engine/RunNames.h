// The output names of one run: each picture's name is planned when it is
// handed in, in the run's order, and no name is given to two pictures. A
// later picture whose name is taken gets " (2)", " (3)", ... before the
// extension, the same on every run of the same list. A run of hundreds of
// thousands of pictures keeps 8 bytes a name, and the plans of the pictures
// not yet written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace quorix {

class TRunNames {
public:
    // The name planned for the picture at index, given the name it wants.
    std::string Plan(size_t index, const std::string& wanted);
    // The name the picture at index writes, given the name it wants now that
    // it is decoded: the planned one when it wants the same; else (or when
    // it had no plan) the first of wanted, wanted (2), ... not given to another.
    std::string Final(size_t index, const std::string& wanted);
    // The picture at index is done: its plan is let go (its name stays taken).
    void Done(size_t index);

private:
    std::string FirstFree(const std::string& wanted);
    struct TPlan {
        std::string Wanted, Given;
    };
    std::mutex FMutex;
    std::unordered_set<uint64_t> FTaken;  // hashes of the names given
    std::unordered_map<size_t, TPlan> FPlans;
};

// The name with " (n)" before its extension (the last dot of its last part).
std::string NumberedName(const std::string& name, int n);

}  // namespace quorix
