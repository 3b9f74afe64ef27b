// vantacheck-cli history --subject: which subject a name or a part of one names, through
// the register and the index, and which of the index's tests are hers.
#include "station/subject_history.h"

#include <gtest/gtest.h>

#include "storage/subject_register.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

class SubjectLookupTest : public ::testing::Test {
protected:
    vanta::testing::TempDir data;
    SubjectRegister subjects;
    archive::LocalIndex index;
    int tests = 0;

    void SetUp() override {
        ASSERT_TRUE(subjects.open(root()));
        ASSERT_TRUE(index.open(root()));
    }
    std::string root() const { return data.path().string(); }

    std::string registered(const std::string& name) {
        SubjectInfo info;
        info.name = name;
        int64_t id = 0;
        EXPECT_TRUE(subjects.add(info, &id));
        RegisteredSubject s;
        EXPECT_TRUE(subjects.get(id, s));
        return s.uuid;
    }
    void indexed(const std::string& name, const std::string& id) {
        archive::IndexedTest t;
        ++tests;
        t.sha256 = std::string(60, '0') + std::to_string(1000 + tests);
        t.path = "/lab/" + std::to_string(tests) + ".kvq";
        t.subject = name;
        t.subjectId = id;
        t.testTime = 1767225600 + tests;
        EXPECT_TRUE(index.store({t}));
    }
    // The id the text resolves to, or the error.
    std::string lookUp(const std::string& text) {
        const SubjectLookup found = lookUpSubject(index, root(), text);
        return found.subject ? found.subject->id : "error: " + found.error;
    }
};

// An exact name wins over a longer name that holds it, and over a name that differs only
// in case or accents; a part of several names names nobody.
TEST_F(SubjectLookupTest, AnExactNameWinsOverALongerOne) {
    const std::string horvat = registered("Ana Horvat"), horvath = registered("Ana Horvath");
    const std::string accented = registered("Ana Horvát");
    const std::string li = registered("Li"), liWei = registered("Li Wei");
    indexed("Ana Horvát", accented);
    indexed("Ana Horvat", horvat);
    indexed("Ana Horvath", horvath);
    indexed("Li", li);
    indexed("Li Wei", liWei);
    EXPECT_EQ(lookUp("Ana Horvat"), horvat);
    EXPECT_EQ(lookUp("Ana Horvát"), accented);
    EXPECT_EQ(lookUp("ANA HORVATH"), horvath);
    EXPECT_EQ(lookUp("Ana Horvath"), horvath);
    EXPECT_EQ(lookUp("Li"), li);
    EXPECT_EQ(lookUp("Li Wei"), liWei);
    EXPECT_EQ(lookUp("li w"), liWei);
    EXPECT_EQ(lookUp("ana horvat"), "error: --subject ana horvat names several subjects (Ana Horvat, Ana Horvát); "
                                    "give more of the name or --id");
    EXPECT_EQ(lookUp("Nobody"), "error: No indexed test of this subject.");
}

// A renamed subject is found under her new name, which only the register knows, and
// under the old one her earlier tests hold; shown with the register's name, with every
// test of her id and her test of unknown id under her present name.
TEST_F(SubjectLookupTest, ARenamedSubjectHasEveryTest) {
    const std::string sj = registered("Smith & Jones");
    indexed("Smith & Jones", sj);
    indexed("Smith & Jones", sj);
    SubjectInfo renamed;
    renamed.name = "Smith & Jones (rowing)";
    std::vector<RegisteredSubject> all;
    ASSERT_TRUE(subjects.findByName("Smith & Jones", all));
    ASSERT_TRUE(subjects.update(all.at(0).id, renamed));
    indexed("Smith & Jones (rowing)", "");  // indexed where the register was not known

    for (const std::string text : {"Smith & Jones (rowing)", "Smith & Jones"}) {
        const SubjectLookup found = lookUpSubject(index, root(), text);
        ASSERT_TRUE(found.subject) << found.error;
        EXPECT_EQ(found.subject->id, sj);
        EXPECT_EQ(found.subject->name, "Smith & Jones (rowing)");
        std::vector<archive::IndexedTest> hers;
        ASSERT_TRUE(listSubjectTests(index, *found.subject, hers));
        EXPECT_EQ(hers.size(), 3u) << text;
    }
}

// The lab's archive gives the subjects (id, name) of its tests that contain the text: the
// same choice without a register, a test of unknown id under a name with one id taken for
// hers, and the name shown the one tested last.
TEST(SubjectLookupAmongTest, ChoosesAsTheIndexLookUpDoes) {
    const auto lookUp = [](std::vector<std::pair<std::string, std::string>> found, const std::string& text) {
        const SubjectLookup got = lookUpSubjectAmong(found, text);
        return got.subject ? got.subject->id + "|" + got.subject->name : "error: " + got.error;
    };
    EXPECT_EQ(lookUp({{"a", "Jan Novak"}, {"b", "Jan Novák"}}, "Jan Novák"), "b|Jan Novák");
    EXPECT_EQ(lookUp({{"", "Li"}, {"w", "Li Wei"}}, "Li"), "|Li");
    EXPECT_EQ(lookUp({{"", "Ana Kovač"}, {"k", "Ana Kovač"}}, "ana kovac"), "k|Ana Kovač");
    EXPECT_EQ(lookUp({{"k", "ANA KOVAČ"}, {"k", "Ana Kovač"}}, "kovac"), "k|Ana Kovač");
    EXPECT_EQ(lookUp({{"a", "Jan Novak"}, {"b", "Jan Novák"}}, "jan"),
              "error: --subject jan names several subjects (Jan Novak, Jan Novák); give more of the name or --id");
    EXPECT_EQ(lookUp({}, "Nobody"), "error: No indexed test of this subject.");
}

// Two ids merged are one subject: asked by either name (or a part of both) the history
// holds both ids' tests.
TEST_F(SubjectLookupTest, AMergeMakesOneHistoryOfBothIds) {
    const std::string plain = registered("Jan Novak"), accented = registered("Jan Nov\xc3\xa1k");
    indexed("Jan Novak", plain);
    indexed("Jan Nov\xc3\xa1k", accented);
    indexed("Jan Nov\xc3\xa1k", accented);
    ASSERT_TRUE(subjects.merge(plain, accented)) << subjects.lastMessage();
    for (const std::string text : {"Jan Novak", "Jan Nov\xc3\xa1k", "jan nov"}) {
        const SubjectLookup found = lookUpSubject(index, root(), text);
        ASSERT_TRUE(found.subject) << text << ": " << found.error;
        EXPECT_EQ(found.subject->id, plain) << text;
        std::vector<archive::IndexedTest> his;
        ASSERT_TRUE(listSubjectTests(index, *found.subject, his));
        EXPECT_EQ(his.size(), 3u) << text;
    }
    EXPECT_FALSE(subjects.merge(accented, plain));
}

}  // namespace
}  // namespace vanta
