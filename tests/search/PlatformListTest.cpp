#include "search/PlatformList.h"

#include <gtest/gtest.h>

using namespace orv;

using V = std::vector<std::string>;

TEST(PlatformPreselected, ExactNamesOrAll)
{
    // The saved choice as the settings file's PFORMSTR splits at ",".
    const V saved = {"PC", "MSX"};
    EXPECT_TRUE(PlatformPreselected("MSX", saved));
    EXPECT_FALSE(PlatformPreselected("pc", saved));
    EXPECT_FALSE(PlatformPreselected(" PC", saved));
    EXPECT_TRUE(PlatformPreselected("", {"@ALL@"}));
    EXPECT_FALSE(PlatformPreselected("x", {"@all@"}));
    // An empty text splits into one empty name: it selects the platform of no name only.
    EXPECT_TRUE(PlatformPreselected("", V{""}));
    EXPECT_FALSE(PlatformPreselected("PC", V{""}));
    EXPECT_FALSE(PlatformPreselected("A,B", V{"A", "B"}));
}
