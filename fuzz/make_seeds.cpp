// Writes the seed corpus of the fuzz targets with the station's own code: demo tests from
// the demo generator, settings files from the settings writer and session journals from
// the journal's writer. The seeds in
// fuzz/corpus/ were made by this program (make_fuzz_seeds fuzz/corpus).
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "core/demo_test.h"
#include "storage/session_journal.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"

using namespace vanta;

namespace {

// Journals of every kind of record: a calibration, attempts, an IGNORE, a subject changed
// with a register id; one cut inside its last record.
bool writeJournalSeeds(const std::string& folder) {
    auto test = std::make_unique<TestRecord>();
    DemoOptions demo{3, 6, 5};
    fillDemoTest(*test, demo);
    test->subject.name = "Ana Horvat";
    SessionJournal journal(folder);
    bool ok = journal.calibrated(*test);
    for (int n = 1; n <= 3 && ok; ++n) {
        test->repetitionCount = n;
        ok = journal.attemptStored(*test);
    }
    test->repetitionCount = 2;
    ok = ok && journal.attemptIgnored(*test);
    journal.setSubjectIdSource([] { return std::string("5d6f0a34-0c1b-4b8e-9a57-3e2d1c0b9a88"); });
    test->subject.comment1 = "after the IGNORE";
    test->repetitionCount = 3;
    ok = ok && journal.attemptStored(*test);
    const std::string path = journal.path();
    journal.close(false);
    std::error_code ec;
    const std::string whole = folder + "/session.kvqj";
    std::filesystem::rename(path, whole, ec);
    if (!ok || ec) {
        std::fprintf(stderr, "journal: %s\n", ok ? ec.message().c_str() : journal.lastMessage().c_str());
        return false;
    }
    const std::string torn = folder + "/torn.kvqj";
    std::filesystem::copy_file(whole, torn, ec);
    if (!ec) std::filesystem::resize_file(torn, std::filesystem::file_size(whole) - 7, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_FOLDER (with test_file/, settings_file/ and journal/ in it)\n");
        return 2;
    }
    const std::string root = argv[1];
    struct Seed {
        const char* name;
        DemoOptions options;
        const char* subject;
    };
    const Seed tests[] = {
        {"empty.kvq", {0, 0, 1}, ""},
        {"one-short.kvq", {1, 12, 2}, "Jan Nov\xC3\xA1k"},
        {"two-short.kvq", {2, 5, 3}, "\xC5\x81\xC3\xB3""d\xC5\xBA"},  // a 16-bit text
        {"three-tiny.kvq", {3, 1, 4}, nullptr},
    };
    for (const Seed& seed : tests) {
        auto test = std::make_unique<TestRecord>();
        fillDemoTest(*test, seed.options);
        if (seed.subject) test->subject.name = seed.subject;
        std::string message;
        if (!writeTestFile(root + "/test_file/" + seed.name, *test, &message)) {
            std::fprintf(stderr, "%s: %s\n", seed.name, message.c_str());
            return 1;
        }
    }
    StationSettings changed;
    changed.graph.graphY1Quantity = 2;
    changed.graph.autoscale = 1;
    changed.currentLoad = 7.5f;
    changed.subjectLibraryMode = 0;
    if (!saveSettings(root + "/settings_file/defaults.cfg", StationSettings{}) ||
        !saveSettings(root + "/settings_file/changed.cfg", changed))
        return 1;
    return writeJournalSeeds(root + "/journal") ? 0 : 1;
}
