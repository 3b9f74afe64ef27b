// One athlete, one id across the lab, as the register's dialog decides it: the lab's one
// subject of the name gives its id, several are the operator's choice, none or no answer
// give an id of this station; a merge the lab refuses or does not answer changes nothing.
#include <gtest/gtest.h>

#include "archive/lab_identity.h"
#include "station/subject_merge.h"
#include "storage/subject_register.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

SubjectInfo named(const std::string& name) {
    SubjectInfo s;
    s.name = name;
    s.sex = 0;
    s.height = 170;
    return s;
}

archive::ArchivedSubject labSubject(const std::string& id, const std::string& name) {
    archive::ArchivedSubject s;
    s.id = id;
    s.name = name;
    return s;
}

LabArchiveAnswer labKnows(std::vector<archive::ArchivedSubject> subjects) {
    LabArchiveAnswer a;
    a.ok = true;
    a.subjects = std::move(subjects);
    return a;
}

const std::string kAnnOnB = "0b5e1d2c-1111-4a4a-8b8b-000000000001";
const std::string kAnnOnC = "0c7f3e4d-2222-4a4a-8b8b-000000000002";

class LabSubjectTest : public ::testing::Test {
protected:
    TempDir dir;
    SubjectRegister reg;
    void SetUp() override { ASSERT_TRUE(reg.open(dir.path().string())) << reg.lastMessage(); }
    RegisteredSubject added(const SubjectInfo& info, const archive::LabIdDecision& d) {
        int64_t id = 0;
        bool fresh = false;
        RegisteredSubject s;
        EXPECT_TRUE(archive::addWithLabId(reg, info, d, id, fresh)) << reg.lastMessage();
        EXPECT_TRUE(fresh);
        EXPECT_TRUE(reg.get(id, s));
        return s;
    }
};

TEST_F(LabSubjectTest, TheLabsOneSubjectOfTheSameSpellingGivesItsIdAndSpelling) {
    const LabArchiveAnswer one = labKnows({labSubject(kAnnOnB, "Ann Nov\xc3\xa1k")});
    // The same letters and accents in another case, with stray spaces or as NFD: she.
    archive::LabIdDecision d = archive::decideLabId(" ann  NOVA\xcc\x81k", &one);
    EXPECT_EQ(d.step, archive::LabIdStep::Adopt);
    EXPECT_EQ(added(named("ann novak"), d).info.name, "Ann Nov\xc3\xa1k");
    // Without the accent she may be someone else: a question, never her id silently; and
    // beside a second subject of her spelling, even her own spelling is a question.
    EXPECT_EQ(archive::decideLabId("Ann Novak", &one).step, archive::LabIdStep::Ask);
    const LabArchiveAnswer both = labKnows({labSubject(kAnnOnB, "Ann Nov\xc3\xa1k"), labSubject(kAnnOnC, "ANN NOV\xc3\x81K")});
    EXPECT_EQ(archive::decideLabId("Ann Nov\xc3\xa1k", &both).step, archive::LabIdStep::Ask);

    // Added again (another spelling typed later): the register's subject of that id it is.
    int64_t id = 0;
    bool fresh = true;
    ASSERT_TRUE(archive::addWithLabId(reg, named("ANN NOVAK"), d, id, fresh));
    EXPECT_FALSE(fresh);
    std::vector<RegisteredSubject> all;
    ASSERT_TRUE(reg.search("", all));
    EXPECT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().id, id);
}

TEST_F(LabSubjectTest, SeveralOfTheNameAreTheOperatorsChoiceAndCancelAddsNothing) {
    const LabArchiveAnswer two = labKnows({labSubject(kAnnOnB, "Ann Lee"), labSubject(kAnnOnC, "Ann Lee")});
    archive::LabIdDecision d = archive::decideLabId("Ann Lee", &two);
    ASSERT_EQ(d.step, archive::LabIdStep::Ask);
    ASSERT_EQ(d.candidates.size(), 2u);

    archive::LabIdDecision cancelled = d;
    EXPECT_FALSE(archive::applyOperatorChoice(cancelled, std::nullopt));

    archive::LabIdDecision second = d;
    ASSERT_TRUE(archive::applyOperatorChoice(second, 1));
    EXPECT_EQ(added(named("Ann Lee"), second).uuid, kAnnOnC);

    archive::LabIdDecision fresh = d;
    ASSERT_TRUE(archive::applyOperatorChoice(fresh, archive::kNewLabSubject));
    EXPECT_EQ(fresh.step, archive::LabIdStep::Local);
    EXPECT_TRUE(fresh.labAnswered);  // the lab learns the new id at once
    const RegisteredSubject other = added(named("Ann Lee"), fresh);
    EXPECT_NE(other.uuid, kAnnOnB);
    EXPECT_NE(other.uuid, kAnnOnC);
}

TEST_F(LabSubjectTest, NobodyOfTheNameOrNoAnswerGivesAnIdOfThisStation) {
    const LabArchiveAnswer none = labKnows({});
    LabArchiveAnswer unreachable;
    unreachable.reason = "The archive server cannot be reached";
    unreachable.subjects = {labSubject(kAnnOnB, "Ann Lee")};  // never trusted without ok
    using Answers = std::initializer_list<const LabArchiveAnswer*>;
    for (const LabArchiveAnswer* answer : Answers{&none, &unreachable, nullptr}) {
        const archive::LabIdDecision d = archive::decideLabId("Ann Lee", answer);
        EXPECT_EQ(d.step, archive::LabIdStep::Local);
        EXPECT_EQ(d.labAnswered, answer == &none);
        EXPECT_NE(added(named("Ann Lee"), d).uuid, kAnnOnB);
    }
}

TEST_F(LabSubjectTest, MergeKeepsTheEarlierAddedAndOnlyAfterTheLabAgreed) {
    int64_t first = 0, second = 0;
    ASSERT_TRUE(reg.add(named("Jan Novak"), &first));
    ASSERT_TRUE(reg.add(named("Jan Nov\xc3\xa1k"), &second));
    RegisteredSubject a, b;
    ASSERT_TRUE(reg.get(first, a));
    ASSERT_TRUE(reg.get(second, b));
    const SubjectMerge m = mergeOrder(b, a);
    EXPECT_EQ(m.keep.id, first);
    EXPECT_EQ(m.gone.id, second);
    EXPECT_EQ(mergeQuestion(m), "Merge Jan Nov\xc3\xa1k (" + b.uuid.substr(0, 8) + ") into Jan Novak (" +
                                    a.uuid.substr(0, 8) + ")? Their tests become one history.");

    std::vector<RegisteredSubject> listed;
    // The lab refuses, or gives no answer: the register stays as it was, and says why.
    LabArchiveAnswer refused;
    refused.reason = "No subject " + b.uuid + " on the archive server";
    for (const LabArchiveAnswer* answer : std::initializer_list<const LabArchiveAnswer*>{&refused, nullptr}) {
        const MergeOutcome o = completeMerge(reg, m, true, answer);
        EXPECT_FALSE(o.merged);
        EXPECT_EQ(o.message, kMsgSubjectsNotMerged);
        EXPECT_EQ(o.detail, answer ? refused.reason : std::string(kLabDidNotAnswer));
        ASSERT_TRUE(unmergedSubjects(reg, "", listed));
        EXPECT_EQ(listed.size(), 2u);
    }

    LabArchiveAnswer agreed;
    agreed.ok = true;
    EXPECT_TRUE(completeMerge(reg, m, true, &agreed).merged);
    ASSERT_TRUE(unmergedSubjects(reg, "nov", listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.front().id, first);
    std::vector<std::string> ids;
    ASSERT_TRUE(reg.mergedIds(b.uuid, ids));
    EXPECT_EQ(ids, (std::vector<std::string>{a.uuid, b.uuid}));

    // Without a server the register merges alone.
    int64_t third = 0;
    RegisteredSubject c;
    ASSERT_TRUE(reg.add(named("J. Novak"), &third));
    ASSERT_TRUE(reg.get(third, c));
    EXPECT_TRUE(completeMerge(reg, mergeOrder(c, a), false, nullptr).merged);
    ASSERT_TRUE(unmergedSubjects(reg, "", listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.front().id, first);
}

}  // namespace
}  // namespace vanta::testing
