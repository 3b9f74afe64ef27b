// Writes the seed corpus of the two fuzz targets with the station's own code: demo tests
// from the demo generator and settings files from the settings writer. The seeds in
// fuzz/corpus/ were made by this program (make_fuzz_seeds fuzz/corpus).
#include <cstdio>
#include <memory>
#include <string>

#include "core/demo_test.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"

using namespace vanta;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_FOLDER (with test_file/ and settings_file/ in it)\n");
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
    return 0;
}
