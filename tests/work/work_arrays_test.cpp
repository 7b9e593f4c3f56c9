#include <gtest/gtest.h>

#include "work/nspl.h"
#include "work/work_arrays.h"

namespace quorvane {
namespace {

TEST(WorkArrays, EverySlotFrom0ToMaxPointsIsReachableAndNoOtherOne)
{
    WorkArrays& w = workArrays();
    EXPECT_EQ(&w, &workArrays()) << "one work area for the whole run";
    struct Case {
        int slot;
        bool valid;
    };
    const Case cases[] = {{-1, false}, {0, true}, {1, true}, {MaxPoints, true}, {MaxPoints + 1, false}, {1 << 30, false}};
    for (WorkArray* a : {&w.X, &w.Y, &w.E, &w.E0, &w.YEnv, &w.t, &w.t1, &w.r, &w.r1, &w.r2, &w.a, &w.b, &w.c, &w.d,
                         &w.u, &w.v}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.slot);
            if (c.valid) {
                EXPECT_EQ((*a)[c.slot], 0.0) << "all slots are zero at start-up";
                (*a)[c.slot] = 2.5;
                EXPECT_EQ(std::as_const(*a)[c.slot], 2.5);
            } else {
                try {
                    (*a)[c.slot] = 1.0;
                    ADD_FAILURE() << "slot accepted";
                } catch (const RangeError& e) {
                    EXPECT_STREQ(e.what(), "Range check error");
                }
                EXPECT_THROW((void)std::as_const(*a)[c.slot], RangeError) << "reads are checked too";
            }
        }
        a->clear();
        EXPECT_EQ((*a)[MaxPoints], 0.0);
    }
    EXPECT_EQ(NSpl(), DefaultNSpl);
}

} // namespace
} // namespace quorvane
