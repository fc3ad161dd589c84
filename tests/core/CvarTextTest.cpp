#include "core/CvarText.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

TEST(CvarText, NumbersAreReadFromTheLeadingDecimalNumber)
{
    EXPECT_FLOAT_EQ(CvarTextToNumber("1"), 1.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("0.25"), 0.25f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("  -2.5abc"), -2.5f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("+.5"), 0.5f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("1e2x"), 100.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("0x10"), 0.0f);  // decimal only
    EXPECT_FLOAT_EQ(CvarTextToNumber("abc"), 0.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber(""), 0.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("inf"), 0.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("--1"), 0.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("1e99"), 0.0f);  // a reading error
    EXPECT_FLOAT_EQ(CvarTextToNumber("(5)"), 0.0f);   // no comma: not a list
    EXPECT_FLOAT_EQ(CvarTextToNumber("(x,y)"), 0.0f);
    EXPECT_FLOAT_EQ(CvarTextToNumber("(5,)"), 0.0f);  // a pair without its high bound
}

TEST(CvarText, SwitchesAreOnFromOneHalf)
{
    EXPECT_TRUE(CvarTextToBool("1"));
    EXPECT_TRUE(CvarTextToBool("0.5"));
    EXPECT_TRUE(CvarTextToBool("7 apples"));
    EXPECT_FALSE(CvarTextToBool("0.49"));
    EXPECT_FALSE(CvarTextToBool("0"));
    EXPECT_FALSE(CvarTextToBool(""));
    EXPECT_FALSE(CvarTextToBool("true"));
    EXPECT_FALSE(CvarTextToBool("-1"));
    EXPECT_TRUE(CvarTextToBool("(0.5,0.5)"));
    EXPECT_FALSE(CvarTextToBool("(0,0.4)"));
}

TEST(CvarText, RangeListsGiveAValueWithinARandomPair)
{
    bool lowPair = false;
    bool highPair = false;
    for (int i = 0; i < 500; ++i) {
        const float single = CvarTextToNumber("(1.5,2.5)");
        EXPECT_GE(single, 1.5f);
        EXPECT_LE(single, 2.5f);
        const float value = CvarTextToNumber("(10,20,30,40)");
        ASSERT_TRUE((value >= 10 && value <= 20) || (value >= 30 && value <= 40)) << value;
        lowPair = lowPair || value <= 20;
        highPair = highPair || value >= 30;
    }
    EXPECT_TRUE(lowPair);
    EXPECT_TRUE(highPair);
}

}  // namespace
}  // namespace quorvex
