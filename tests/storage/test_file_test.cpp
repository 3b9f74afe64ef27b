#include "storage/test_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "core/analysis.h"
#include "core/demo_test.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;

class TestFileTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    fs::path dir_ = dir.path();

    std::string path(const std::string& name) const { return dir.file(name); }
    static std::string slurp(const std::string& p) { return testing::readFileBytes(p); }
    static void spit(const std::string& p, const std::string& bytes) { testing::writeFileBytes(p, bytes); }
};

std::string le32(int32_t v) {
    std::string s(4, '\0');
    for (int k = 0; k < 4; ++k) s[k] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF);
    return s;
}
std::string lef(float v) { return le32(std::bit_cast<int32_t>(v)); }

// A small file built by hand, field by field.
std::string handMadeFile(int32_t count, int32_t samples, bool withTime = true) {
    std::string f = "\x0FVantaCheck_V1.1";
    f += "\x04" "Anna";
    f += le32(0) + le32(172) + le32(64);
    f += std::string("\x02") + "c1" + std::string(1, '\0') + std::string("\x02") + "c3";
    f += le32(count);
    for (int r = 0; r < count; ++r) {
        f += le32(r % 2 ? 1 : -1);
        for (int c = 0; c < 6; ++c) f += lef(0.5f * c);
        f += lef(7.5f) + lef(30.0f) + le32(samples);
        for (int i = 0; i < samples; ++i)
            for (int c = 0; c < 6; ++c) f += le32(1000 * c + i - 3 * r);
    }
    if (withTime) f += le32(1765000000);
    return f;
}

void expectSameTest(const TestRecord& a, const TestRecord& b) {
    EXPECT_EQ(a.subject.name, b.subject.name);
    EXPECT_EQ(a.subject.sex, b.subject.sex);
    EXPECT_EQ(a.subject.weight, b.subject.weight);
    EXPECT_EQ(a.subject.height, b.subject.height);
    EXPECT_EQ(a.subject.comment1, b.subject.comment1);
    EXPECT_EQ(a.subject.comment2, b.subject.comment2);
    EXPECT_EQ(a.subject.comment3, b.subject.comment3);
    EXPECT_EQ(a.testTime, b.testTime);
    ASSERT_EQ(a.repetitionCount, b.repetitionCount);
    for (int r = 0; r < a.repetitionCount; ++r) {
        const RepetitionRecord& x = a.repetitions[r];
        const RepetitionRecord& y = b.repetitions[r];
        EXPECT_EQ(x.direction, y.direction);
        EXPECT_EQ(0, std::memcmp(x.channelOffset, y.channelOffset, sizeof x.channelOffset));
        EXPECT_EQ(std::bit_cast<uint32_t>(x.loadMass), std::bit_cast<uint32_t>(y.loadMass));
        EXPECT_EQ(std::bit_cast<uint32_t>(x.radius), std::bit_cast<uint32_t>(y.radius));
        ASSERT_EQ(x.sampleCount, y.sampleCount);
        for (int c = 0; c < kChannelCount; ++c)
            ASSERT_EQ(0, std::memcmp(x.raw.row(c), y.raw.row(c), sizeof(int32_t) * x.sampleCount)) << r << "/" << c;
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(0, std::memcmp(a.series[r][SeriesKind(k)], b.series[r][SeriesKind(k)], sizeof(float) * x.sampleCount));
        EXPECT_EQ(0, std::memcmp(a.results[r].value, b.results[r].value, sizeof a.results[r].value));
    }
}

TEST_F(TestFileTest, AnEmptyTestIsFortyBytesOfHeader) {
    auto test = std::make_unique<TestRecord>();
    test->subject.sex = -1;
    test->subject.height = 180;
    test->subject.weight = 80;
    test->testTime = 0x01020304;
    test->saved = 0;
    ASSERT_TRUE(writeTestFile(path("empty.kvq"), *test));
    const std::string expected = std::string("\x0FVantaCheck_V1.1") + '\0' + le32(-1) + le32(180) + le32(80) +
                                 std::string(3, '\0') + le32(0) + le32(0x01020304);
    EXPECT_EQ(slurp(path("empty.kvq")), expected);
    EXPECT_EQ(expected.size(), 40u);
    EXPECT_EQ(test->saved, 1);

    auto back = std::make_unique<TestRecord>();
    back->repetitionCount = 5;
    back->saved = 0;
    ASSERT_TRUE(readTestFile(path("empty.kvq"), *back));
    EXPECT_EQ(back->repetitionCount, 0);
    EXPECT_EQ(back->subject.sex, -1);
    EXPECT_EQ(back->testTime, 0x01020304);
    EXPECT_EQ(back->saved, 1);
}

TEST_F(TestFileTest, TextPrefixesGrowWithTheLength) {
    EXPECT_EQ(encodeFileText(""), std::string(1, '\0'));
    EXPECT_EQ(encodeFileText(std::string(254, 'a')).substr(0, 1), "\xFE");
    EXPECT_EQ(encodeFileText(std::string(255, 'a')).substr(0, 3), std::string("\xFF\xFF\x00", 3));
    EXPECT_EQ(encodeFileText(std::string(65533, 'a')).substr(0, 3), "\xFF\xFD\xFF");
    // From 65534 on the 16-bit field would read as a marker: the 32-bit form takes over.
    EXPECT_EQ(encodeFileText(std::string(65534, 'a')).substr(0, 7), std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
    EXPECT_EQ(encodeFileText(std::string(70000, 'a')).size(), 70000u + 7);
    // Characters count in the 8-bit code page, not in UTF-8 bytes.
    EXPECT_EQ(encodeFileText("M\xC3\xBCller"), std::string("\x06M\xFCller"));
    // A text Latin-1 cannot hold goes in 16-bit units after 0xFF 0xFFFE, its length in units.
    EXPECT_EQ(encodeFileText("\xC5\x81\xC3\xB3""d\xC5\xBA"),  // Łódź
              std::string("\xFF\xFE\xFF\x04\x41\x01\xF3\x00\x64\x00\x7A\x01", 12));
    EXPECT_EQ(encodeFileText("\xF0\x9F\x98\x80"),  // U+1F600: a surrogate pair, two units
              std::string("\xFF\xFE\xFF\x02\x3D\xD8\x00\xDE", 8));
    std::string omegas;
    for (int i = 0; i < 300; ++i) omegas += "\xCE\xA9";
    EXPECT_EQ(encodeFileText(omegas).substr(0, 6), std::string("\xFF\xFE\xFF\xFF\x2C\x01", 6));
}

TEST_F(TestFileTest, LongAndForeignTextsReadBack) {
    auto test = std::make_unique<TestRecord>();
    test->subject.name = std::string(255, 'n');
    test->subject.comment1 = std::string(65534, 'x');
    test->subject.comment2 = "Gr\xC3\xBC\xC3\x9F" "e \xC5\x81\xC3\xB3""d\xC5\xBA \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x9D\x8E \xF0\x9F\x98\x80";
    for (int i = 0; i < 70000; ++i) test->subject.comment3 += "\xE6\x9D\x8E";  // the 32-bit length form
    ASSERT_TRUE(writeTestFile(path("texts.kvq"), *test));
    auto back = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("texts.kvq"), *back));
    EXPECT_EQ(back->subject, test->subject);
}

TEST_F(TestFileTest, SixteenBitTextsKeepEveryCharacter) {
    // 0xFF 0xFFFE marks a UTF-16 text; its length (in 16-bit units) follows in the usual scheme.
    const std::string name = std::string("\xFF\xFE\xFF\x05", 4) + std::string("M\0\xFC\0l\0\x7D\x01r\0", 10);
    std::string f = "\x0FVantaCheck_V1.1" + name;  // "Mül" + U+017D + "r"
    f += le32(1) + le32(190) + le32(90);
    f += std::string("\xFF\xFE\xFF\xFF\x00\x02", 6);  // 0x200 units: the 16-bit length form
    for (int i = 0; i < 0x200; ++i) f += std::string("a\0", 2);
    f += std::string(2, '\0') + le32(0) + le32(77);
    spit(path("utf16.kvq"), f);
    auto test = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("utf16.kvq"), *test));
    EXPECT_EQ(test->subject.name, "M\xC3\xBCl\xC5\xBDr");
    EXPECT_EQ(test->subject.comment1, std::string(0x200, 'a'));
    EXPECT_EQ(test->subject.height, 190);
    EXPECT_EQ(test->testTime, 77);
    // Saved again, the name stays 16-bit as it was; the comment Latin-1 holds goes 8-bit.
    ASSERT_TRUE(writeTestFile(path("again.kvq"), *test));
    const std::string again = slurp(path("again.kvq"));
    EXPECT_EQ(again.substr(16, name.size()), name);
    EXPECT_EQ(again.substr(16 + name.size() + 12, 3), std::string("\xFF\x00\x02", 3));
}

TEST_F(TestFileTest, ARoundTripReproducesRecordsAndAnalysisExactly) {
    auto recorded = std::make_unique<TestRecord>();
    fillDemoTest(*recorded, {5, 0, 3});
    recorded->subject.age = 33;
    recorded->repetitions[4].sampleCount = 0;  // an empty repetition travels too
    for (int r = 0; r < recorded->repetitionCount; ++r) analyseRepetition(*recorded, r);
    ASSERT_TRUE(writeTestFile(path("round.kvq"), *recorded));

    auto opened = std::make_unique<TestRecord>();
    opened->subject.age = 51;
    ASSERT_TRUE(readTestFile(path("round.kvq"), *opened));
    expectSameTest(*recorded, *opened);
    EXPECT_EQ(opened->subject.age, 51) << "age is not in the file";

    // Written again, the file is the same byte for byte.
    ASSERT_TRUE(writeTestFile(path("again.kvq"), *opened));
    EXPECT_EQ(slurp(path("round.kvq")), slurp(path("again.kvq")));
}

TEST_F(TestFileTest, ReadingForTheNumbersOnlyGivesTheSameResults) {
    auto recorded = std::make_unique<TestRecord>();
    fillDemoTest(*recorded, {4, 0, 8});
    recorded->repetitions[1].sampleCount = 3000;  // longer than its neighbours
    recorded->repetitions[3].sampleCount = 1;     // no peak: results stay as they were
    ASSERT_TRUE(writeTestFile(path("numbers.kvq"), *recorded));

    auto kept = std::make_unique<TestRecord>();
    auto discarded = std::make_unique<TestRecord>();
    for (TestRecord* t : {kept.get(), discarded.get()}) t->results[3].value[MeanAll][0] = 12.5f;
    ASSERT_TRUE(readTestFile(path("numbers.kvq"), *kept));
    ASSERT_TRUE(readTestFile(path("numbers.kvq"), *discarded, nullptr, SampleStorage::Discard));
    ASSERT_EQ(discarded->repetitionCount, 4);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(0, std::memcmp(kept->results[r].value, discarded->results[r].value, sizeof kept->results[r].value)) << r;
        EXPECT_EQ(kept->results[r].velocityPeakIndex, discarded->results[r].velocityPeakIndex) << r;
        EXPECT_EQ(discarded->repetitions[r].sampleCount, recorded->repetitions[r].sampleCount);
        EXPECT_FALSE(discarded->repetitions[r].raw.allocated());
    }
    EXPECT_EQ(discarded->results[3].value[MeanAll][0], 12.5f);
    EXPECT_EQ(discarded->results[3].velocityPeakIndex, -10);
}

TEST_F(TestFileTest, SideBySideTheNumbersAreThoseOfOneCore) {
    auto recorded = std::make_unique<TestRecord>();
    fillDemoTest(*recorded, {12, 0, 17});
    recorded->repetitions[5].sampleCount = 40;  // no stroke
    recorded->repetitions[7].sampleCount = 0;
    recorded->repetitions[9].sampleCount = 5000;  // long enough to be read in pieces
    recorded->repetitions[3].sampleCount = 250;   // cut while the rate still rises: the peak is
                                                  // in the last samples, whose smoothing reads
                                                  // the zeros beyond them
    ASSERT_TRUE(writeTestFile(path("many.kvq"), *recorded));

    // The reference: read on one thread, then analysed sample by sample as written.
    auto reference = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("many.kvq"), *reference, nullptr, SampleStorage::Keep, 1));
    for (int r = 0; r < 12; ++r) analyseRepetition(*reference, r, Smoothing::Direct);

    for (const SampleStorage storage : {SampleStorage::Keep, SampleStorage::Discard}) {
        for (const unsigned threads : {1u, 2u, 5u}) {
            auto opened = std::make_unique<TestRecord>();
            ASSERT_TRUE(readTestFile(path("many.kvq"), *opened, nullptr, storage, threads));
            for (int r = 0; r < 12; ++r) {
                const std::string where = std::to_string(threads) + " threads, repetition " + std::to_string(r);
                EXPECT_EQ(0, std::memcmp(opened->results[r].value, reference->results[r].value,
                                         sizeof opened->results[r].value))
                    << where;
                EXPECT_EQ(opened->results[r].velocityPeakIndex, reference->results[r].velocityPeakIndex) << where;
                if (storage == SampleStorage::Discard) continue;
                for (int c = 0; c < kChannelCount; ++c)
                    ASSERT_EQ(0, std::memcmp(opened->repetitions[r].raw.row(c), reference->repetitions[r].raw.row(c),
                                             sizeof(int32_t) * kMaxSamples))
                        << where;
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(0, std::memcmp(opened->series[r][SeriesKind(k)], reference->series[r][SeriesKind(k)],
                                             sizeof(float) * opened->repetitions[r].sampleCount))
                        << where;
            }
        }
    }
}

// The index hashes a file's bytes and reads its numbers from the same copy in memory: that
// must read exactly as the file does, whole, cut anywhere or foreign.
TEST_F(TestFileTest, BytesInMemoryReadAsTheFileDoes) {
    auto recorded = std::make_unique<TestRecord>();
    fillDemoTest(*recorded, {3, 0, 21});
    recorded->repetitions[0].sampleCount = 40000;  // read in several pieces, over an older one
    recorded->repetitions[2].sampleCount = 700;
    recorded->subject.comment2 = std::string(70000, 'k');  // the head alone fills more than one buffer
    ASSERT_TRUE(writeTestFile(path("whole.kvq"), *recorded));
    auto older = std::make_unique<TestRecord>();
    fillDemoTest(*older, {3, 30000, 5});
    auto bytesOf = [](const std::string& s) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    const std::string whole = slurp(path("whole.kvq"));
    for (const SampleStorage storage : {SampleStorage::Keep, SampleStorage::Discard}) {
        for (const unsigned threads : {1u, 2u}) {
            auto fromFile = std::make_unique<TestRecord>();
            auto fromBytes = std::make_unique<TestRecord>();
            for (TestRecord* t : {fromFile.get(), fromBytes.get()}) {
                ASSERT_TRUE(writeTestFile(path("older.kvq"), *older));
                ASSERT_TRUE(readTestFile(path("older.kvq"), *t));  // rows to read over
            }
            ASSERT_TRUE(readTestFile(path("whole.kvq"), *fromFile, nullptr, storage, threads));
            ASSERT_TRUE(readTestBytes(bytesOf(whole), *fromBytes, nullptr, storage, threads));
            if (storage == SampleStorage::Keep) {
                expectSameTest(*fromFile, *fromBytes);
                continue;
            }
            EXPECT_EQ(fromBytes->testTime, fromFile->testTime);
            EXPECT_EQ(fromBytes->subject.name, fromFile->subject.name);
            for (int r = 0; r < 3; ++r)
                EXPECT_EQ(0, std::memcmp(fromFile->results[r].value, fromBytes->results[r].value,
                                         sizeof fromFile->results[r].value))
                    << r;
        }
    }

    // Damaged and foreign: the same answer and the same message, the test left as it was.
    std::vector<std::string> bad;
    const std::string small = handMadeFile(2, 3);
    for (size_t cut = 0; cut < small.size(); ++cut) bad.push_back(small.substr(0, cut));
    bad.push_back(whole.substr(0, whole.size() - 1));
    std::string tooLong = small;
    tooLong.replace(16 + 5 + 12 + 7 + 4 + 4 + 24 + 8, 4, le32(60001));
    bad.push_back(tooLong);
    for (const std::string& b : bad) {
        spit(path("bad.kvq"), b);
        std::string fileMessage, bytesMessage;
        auto test = std::make_unique<TestRecord>();
        test->subject.name = "kept";
        EXPECT_FALSE(readTestFile(path("bad.kvq"), *test, &fileMessage, SampleStorage::Discard));
        EXPECT_FALSE(readTestBytes(bytesOf(b), *test, &bytesMessage, SampleStorage::Discard)) << b.size();
        EXPECT_EQ(bytesMessage, fileMessage) << b.size();
        EXPECT_EQ(test->subject.name, "kept");
    }
}

// Opening over a test in memory reads the new samples into its rows: the result must be
// that of opening into a fresh record, and a file that fails must still change nothing.
TEST_F(TestFileTest, OpeningOverAnotherTestIsOpeningAfresh) {
    auto older = std::make_unique<TestRecord>();
    fillDemoTest(*older, {4, kMaxSamples, 3});
    older->repetitions[3].sampleCount = 20000;
    ASSERT_TRUE(writeTestFile(path("older.kvq"), *older));
    auto newer = std::make_unique<TestRecord>();
    fillDemoTest(*newer, {4, 45000, 4});  // the last one waits too, analysed beside another
    newer->repetitions[1].raw.row(AccelX)[777] = 40000;  // beyond 16 bits: cannot wait as 16-bit values
    newer->repetitions[2].sampleCount = 1200;
    ASSERT_TRUE(writeTestFile(path("newer.kvq"), *newer));

    auto fresh = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("newer.kvq"), *fresh));
    auto test = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("older.kvq"), *test));
    // On two threads each takes two repetitions, over rows longer and shorter than its own.
    ASSERT_TRUE(readTestFile(path("newer.kvq"), *test, nullptr, SampleStorage::Keep, 2));
    expectSameTest(*fresh, *test);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < kChannelCount; ++c)
            ASSERT_EQ(0, std::memcmp(fresh->repetitions[r].raw.row(c), test->repetitions[r].raw.row(c),
                                     sizeof(int32_t) * kMaxSamples))
                << "beyond the samples too, repetition " << r << " channel " << c;

    // Cut inside the last samples: refused before a sample of the test in memory is overwritten.
    const std::string whole = slurp(path("older.kvq"));
    spit(path("cut.kvq"), whole.substr(0, whole.size() - 1000));
    auto before = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("newer.kvq"), *before));
    EXPECT_FALSE(readTestFile(path("cut.kvq"), *test));
    expectSameTest(*before, *test);
}

TEST_F(TestFileTest, AForeignFileIsRewrittenByteForByte) {
    // 8-bit texts with bytes above 0x7F, odd directions and offsets: all kept as they are.
    std::string f = handMadeFile(3, 17);
    f.replace(16, 5, "\x04\xC9v\xE9\xFF", 5);  // name "Évéÿ" in 8 bits
    spit(path("foreign.kvq"), f);
    auto test = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path("foreign.kvq"), *test));
    EXPECT_EQ(test->subject.name, "\xC3\x89v\xC3\xA9\xC3\xBF");
    EXPECT_EQ(test->repetitions[1].raw.row(RateZ)[16], 5000 + 16 - 3);
    ASSERT_TRUE(writeTestFile(path("copy.kvq"), *test));
    EXPECT_EQ(slurp(path("copy.kvq")), f);
}

TEST_F(TestFileTest, AFileThatEndsEarlyAnywhereChangesNothing) {
    const std::string whole = handMadeFile(2, 3);
    auto reference = std::make_unique<TestRecord>();
    fillDemoTest(*reference, {2, 400, 9});
    for (int r = 0; r < 2; ++r) analyseRepetition(*reference, r);
    reference->saved = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        spit(path("short.kvq"), whole.substr(0, cut));
        auto test = std::make_unique<TestRecord>();
        fillDemoTest(*test, {2, 400, 9});
        for (int r = 0; r < 2; ++r) analyseRepetition(*test, r);
        test->saved = 0;
        std::string message;
        ASSERT_FALSE(readTestFile(path("short.kvq"), *test, &message)) << "cut at " << cut;
        EXPECT_EQ(message, "An attempt was made to access an unnamed file past its end.") << cut;
        expectSameTest(*reference, *test);
        EXPECT_EQ(test->saved, 0);
    }
    spit(path("whole.kvq"), whole);
    auto test = std::make_unique<TestRecord>();
    EXPECT_TRUE(readTestFile(path("whole.kvq"), *test));
}

TEST_F(TestFileTest, WrongTagsAndCountsBeyondTheCapacitiesAreIncompatible) {
    const std::string good = handMadeFile(1, 2);
    std::string lower = good;
    lower[1] = 'v';
    std::string longer = "\x10VantaCheck_V1.1x" + good.substr(16);
    std::string tooMany = handMadeFile(0, 0);
    tooMany.replace(tooMany.size() - 8, 4, le32(101));
    std::string tooLong = good;
    tooLong.replace(16 + 5 + 12 + 7 + 4 + 4 + 24 + 8, 4, le32(60001));  // the sample count
    for (const std::string& bytes : {lower, longer, tooMany, tooLong}) {
        spit(path("bad.kvq"), bytes);
        auto test = std::make_unique<TestRecord>();
        test->subject.name = "kept";
        std::string message;
        EXPECT_FALSE(readTestFile(path("bad.kvq"), *test, &message));
        EXPECT_EQ(message, "Incompatible data");
        EXPECT_EQ(test->subject.name, "kept");
        EXPECT_EQ(test->repetitionCount, 0);
    }
}

TEST_F(TestFileTest, NegativeCountsReadAsZero) {
    std::string f = handMadeFile(0, 0);
    f.replace(f.size() - 8, 4, le32(-3));
    spit(path("neg.kvq"), f);
    auto test = std::make_unique<TestRecord>();
    test->repetitionCount = 4;
    ASSERT_TRUE(readTestFile(path("neg.kvq"), *test));
    EXPECT_EQ(test->repetitionCount, 0);

    std::string g = handMadeFile(1, 0);
    g.replace(g.size() - 8, 4, le32(-60000));
    spit(path("negsamples.kvq"), g);
    ASSERT_TRUE(readTestFile(path("negsamples.kvq"), *test));
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_EQ(test->repetitions[0].sampleCount, 0);
}

TEST_F(TestFileTest, RepetitionsBeyondTheFilesCountGiveBackTheirBlocks) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {3, 300, 5});
    analyseRepetitions(*test, 3);
    spit(path("one.kvq"), handMadeFile(1, 5));
    ASSERT_TRUE(readTestFile(path("one.kvq"), *test));
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_EQ(test->repetitions[0].sampleCount, 5);
    EXPECT_EQ(test->repetitions[0].raw.row(RateY)[5], 0) << "beyond the samples the store is zero";
    for (int r : {1, 2}) {
        EXPECT_FALSE(test->repetitions[r].raw.allocated()) << r;
        EXPECT_FALSE(test->series[r].values.allocated()) << r;
    }
}

// A sanitizer's shadow memory does not fit an address-space limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kShadowMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kShadowMemory = true;
#else
constexpr bool kShadowMemory = false;
#endif
#else
constexpr bool kShadowMemory = false;
#endif

// Texts whose prefix claims far more than memory allows, read by a child process that may
// use 128 MB: the claim alone must not cost it, and running out is a refusal, not an abort.
TEST_F(TestFileTest, HugeClaimedTextsAreRefusedWithinTheMemoryThereIs) {
    if (kShadowMemory) GTEST_SKIP() << "a sanitizer's shadow memory does not fit a 128 MB address-space limit";
    const std::string header = "\x0FVantaCheck_V1.1";
    // 2 GB claimed, three bytes there.
    spit(path("short.kvq"), header + std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7) + "abc");
    // 1 GB claimed and there: a sparse file, a few kB on the disk.
    spit(path("sparse.kvq"), header + std::string("\xFF\xFF\xFF\x00\x00\x00\x40", 7));
    fs::resize_file(path("sparse.kvq"), (1u << 30) + 4096);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{128u << 20, 128u << 20};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        std::string endsEarly, tooBig;
        auto test = std::make_unique<TestRecord>();
        test->subject.name = "kept";
        const bool a = readTestFile(path("short.kvq"), *test, &endsEarly);
        const bool b = readTestFile(path("sparse.kvq"), *test, &tooBig);
        ::_exit(!a && endsEarly == "An attempt was made to access an unnamed file past its end." && !b &&
                        tooBig == "Incompatible data" && test->subject.name == "kept"
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reader died (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong messages or a changed test";
}

// Opening a long test over one in memory, in a child process that has room for the old
// test and little more: running out while room is made for the new samples is a
// refusal, and the test in memory is as it was.
TEST_F(TestFileTest, RunningOutOfMemoryAmongTheBlocksKeepsTheTestAndItsSeries) {
    if (kShadowMemory) GTEST_SKIP() << "a sanitizer's shadow memory does not fit an address-space limit";
    auto older = std::make_unique<TestRecord>();
    fillDemoTest(*older, {3, kMaxSamples, 3});
    ASSERT_TRUE(writeTestFile(path("older.kvq"), *older));
    // 21 repetitions beyond the 3 held: 50 MB of new rows and series. Written by a process of its own,
    // so that the memory it took is not free room in the reading one.
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        auto longer = std::make_unique<TestRecord>();
        fillDemoTest(*longer, {24, kMaxSamples, 4});
        ::_exit(writeTestFile(path("longer.kvq"), *longer) ? 0 : 1);
    }
    int written = 0;
    ASSERT_EQ(::waitpid(writer, &written, 0), writer);
    ASSERT_TRUE(WIFEXITED(written) && WEXITSTATUS(written) == 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto before = std::make_unique<TestRecord>();
        auto test = std::make_unique<TestRecord>();
        // On this thread alone: a thread's malloc arena would be room reserved beforehand.
        if (!readTestFile(path("older.kvq"), *before, nullptr, SampleStorage::Keep, 1) ||
            !readTestFile(path("older.kvq"), *test, nullptr, SampleStorage::Keep, 1))
            ::_exit(4);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (20u << 20);
        rlimit limit{room, room};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        std::string message;
        EXPECT_FALSE(readTestFile(path("longer.kvq"), *test, &message, SampleStorage::Keep, 2));
        EXPECT_EQ(message, "Incompatible data");
        expectSameTest(*before, *test);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reader died (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong message or a changed test (see above)";
}

TEST_F(TestFileTest, OnlyRegularFilesAreOpened) {
    auto test = std::make_unique<TestRecord>();
    std::string message;
    EXPECT_FALSE(readTestFile(path("missing.kvq"), *test, &message));
    EXPECT_EQ(message, "Error opening file");
    ASSERT_EQ(::mkfifo(path("pipe.kvq").c_str(), 0600), 0);
    for (const std::string& other : {dir_.string(), std::string("/dev/zero"), path("pipe.kvq")}) {
        message.clear();
        ::alarm(20);  // a pipe without a writer must not hold the reader: this ends the tests instead
        EXPECT_FALSE(readTestFile(other, *test, &message)) << other;
        ::alarm(0);
        EXPECT_EQ(message, "Error opening file") << other;
    }
}

TEST_F(TestFileTest, AFailedSaveKeepsThePreviousFileAndTheFlag) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {2, 2000, 4});
    test->saved = 0;
    std::string message;
    std::string why;
    EXPECT_FALSE(writeTestFile(path("no/such/dir/t.kvq"), *test, &message, &why));
    EXPECT_EQ(message, "File Save Error");
    EXPECT_EQ(why, std::strerror(ENOENT));
    EXPECT_EQ(test->saved, 0);

    const std::string previous = handMadeFile(1, 3);
    spit(path("keep.kvq"), previous);
    // The disk "fills up" after 20 kB: the test needs about 96 kB.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 20000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    message.clear();
    const bool ok = writeTestFile(path("keep.kvq"), *test, &message);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_NE(message.find("keep.kvq"), std::string::npos) << message;
    EXPECT_NE(message.find("previous file is unchanged"), std::string::npos) << message;
    // A new file: there was no previous one to promise, but the reason is given all the same.
    std::string reason;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool newOk = writeTestFile(path("new.kvq"), *test, &message, &reason);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(newOk);
    EXPECT_EQ(message.find("previous file"), std::string::npos) << message;
    EXPECT_EQ(reason, std::strerror(EFBIG));
    EXPECT_FALSE(fs::exists(path("new.kvq")));
    EXPECT_EQ(slurp(path("keep.kvq")), previous);
    EXPECT_EQ(test->saved, 0);
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) leftovers += entry.path().filename() != "keep.kvq";
    EXPECT_EQ(leftovers, 0) << "no temporary file is left behind";

    // With room on the disk the same save replaces it.
    EXPECT_TRUE(writeTestFile(path("keep.kvq"), *test));
    EXPECT_NE(slurp(path("keep.kvq")), previous);
    EXPECT_EQ(test->saved, 1);
}

}  // namespace
}  // namespace vanta
