// The names of one run: planned in the run's order, never given twice.
#include "RunNames.h"

#include <gtest/gtest.h>

namespace quorix {
namespace {

TEST(RunNames, NumberedBeforeTheExtension) {
    EXPECT_EQ(NumberedName("/o/pic.jpg", 2), "/o/pic (2).jpg");
    EXPECT_EQ(NumberedName("/o.d/pic", 3), "/o.d/pic (3)");
    EXPECT_EQ(NumberedName("/o/a.b.tif", 12), "/o/a.b (12).tif");
}

// Later pictures wanting a taken name are numbered; a picture whose decoded
// size changes the name it wants gives its planned name back and takes the
// first free one.
TEST(RunNames, PlannedInOrderAndNeverGivenTwice) {
    TRunNames names;
    EXPECT_EQ(names.Plan(0, "/o/a.jpg"), "/o/a.jpg");
    EXPECT_EQ(names.Plan(1, "/o/a.jpg"), "/o/a (2).jpg");
    EXPECT_EQ(names.Plan(2, "/o/a (2).jpg"), "/o/a (2) (2).jpg");  // a source really named so
    EXPECT_EQ(names.Plan(3, "/o/b.jpg"), "/o/b.jpg");
    EXPECT_EQ(names.Final(1, "/o/a.jpg"), "/o/a (2).jpg");
    EXPECT_EQ(names.Final(3, "/o/a.jpg"), "/o/a (3).jpg");  // planned b.jpg, wants a.jpg after all
    EXPECT_EQ(names.Plan(4, "/o/b.jpg"), "/o/b.jpg");       // b.jpg was given back
    names.Done(1);
    EXPECT_EQ(names.Final(1, "/o/a.jpg"), "/o/a (4).jpg");  // its plan gone, it is numbered anew
}

}  // namespace
}  // namespace quorix
