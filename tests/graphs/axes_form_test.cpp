#include "graphs/axes_form.h"

#include <gtest/gtest.h>

namespace vanta {
namespace {

TEST(AxesForm, AFieldHoldsOneSignedThirtyTwoBitInteger) {
    EXPECT_EQ(readDialogInteger(" -12\t"), -12);
    EXPECT_EQ(readDialogInteger("+7"), 7);
    EXPECT_EQ(readDialogInteger("0"), 0);
    EXPECT_EQ(readDialogInteger("2147483647"), 2147483647);
    EXPECT_EQ(readDialogInteger("-2147483648"), INT32_MIN);
    for (const char* refused : {"", "  ", "-", "+", "2147483648", "12a", "a12", "1.5", "1,5", "+-1", "1 2", "0x10"})
        EXPECT_EQ(readDialogInteger(refused), std::nullopt) << '"' << refused << '"';
}

TEST(AxesForm, OkTakesEveryFieldOrNothing) {
    GraphSettings current;
    current.graphY1Quantity = 2;
    current.graphY2Quantity = 4;
    AxesFieldTexts texts = axesFieldTexts(current);
    texts[3] = "-45";   // position MIN
    texts[13] = "2500";  // power MAX
    texts[14] = "0";     // power STEP: stored as entered
    const AxesFormResult ok = readAxesForm(texts, 1, current);
    ASSERT_TRUE(ok.accepted);
    EXPECT_EQ(ok.settings.axisMin[1], -45);
    EXPECT_EQ(ok.settings.axisMax[4], 2500);
    EXPECT_EQ(ok.settings.axisStep[4], 0);
    EXPECT_EQ(ok.settings.autoscale, 1);
    EXPECT_EQ(ok.settings.graphY1Quantity, 2);
    EXPECT_EQ(ok.settings.graphY2Quantity, 4);

    // The first refused field in reading order is the one reported; nothing is taken over.
    texts[9] = "-2O0";  // force MIN with a letter O
    texts[6] = "x";     // linear velocity MIN
    const AxesFormResult refused = readAxesForm(texts, 0, current);
    EXPECT_FALSE(refused.accepted);
    EXPECT_EQ(refused.refusedField, 6);
    EXPECT_EQ(kAxesFieldIds[refused.refusedField / 3][refused.refusedField % 3], 1005);
}

}  // namespace
}  // namespace vanta
