#include "platform/system/Cores.h"

#include <gtest/gtest.h>

#include <sched.h>

namespace kelvora::platform {
namespace {

// A thread held to one core (as `taskset -c 0` holds a save) is told of one core, whatever
// the machine has; its mask given back, of them all again.
TEST(CoresTest, CountsOnlyTheCoresTheAffinityAllows)
{
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    const int allowed = CPU_COUNT(&all);
    EXPECT_EQ(usableCores(), allowed);

    int first = 0;
    while (!CPU_ISSET(first, &all))
        ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(usableCores(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(usableCores(), allowed);
}

}  // namespace
}  // namespace kelvora::platform
