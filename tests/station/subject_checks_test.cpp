// The subject form's checks without the dialog: how a number box is read and how
// characters are counted.
#include "station/subject_checks.h"

#include <gtest/gtest.h>

namespace vanta {
namespace {

TEST(SubjectChecks, NumberBoxesAreReadAsTheStationAlwaysHas) {
    long long v = -1;
    EXPECT_TRUE(parseSubjectInteger(" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(parseSubjectInteger("+7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(parseSubjectInteger("-0", v));
    EXPECT_EQ(v, 0);
    // A no-break space and an ideographic space are blanks as well.
    EXPECT_TRUE(parseSubjectInteger("\xC2\xA0" "42\xE3\x80\x80", v));
    EXPECT_EQ(v, 42);
    for (const char* bad : {"", "  ", "-", "4 2", "12kg", "1.5", "\xC2\xA9" "4"})
        EXPECT_FALSE(parseSubjectInteger(bad, v)) << bad;
}

TEST(SubjectChecks, ACharacterCountsOnceWhateverItsLength) {
    EXPECT_EQ(characterCount("a\xF0\x9F\x98\x80" "b"), 3);
    EXPECT_EQ(characterCount("Nov\xC3\xA1k"), 5);
    // A stray byte is a character of its own, never a reason to skip its neighbours.
    EXPECT_EQ(characterCount("\xC3" "ab"), 3);
}

}  // namespace
}  // namespace vanta
