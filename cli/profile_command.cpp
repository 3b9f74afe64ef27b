// vantacheck-cli profile: the load-power profile by side and the asymmetry of one or more
// tests, as a table, as JSON, and as the page the station prints from its Profile screen.
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "archive/sha256.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/profile_output.h"
#include "cli/station_folders.h"
#include "cli/subject_tests.h"
#include "profile/profile.h"
#include "profile/profile_texts.h"
#include "storage/name_folding.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

// The bytes of a file, for its identity: the same SHA-256 is the same test, whatever the
// path (a file named twice, or again through a link). Empty when it cannot be read.
std::string testIdentity(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in.bad() ? std::string() : archive::sha256Hex(bytes.str());
}

// The attempts of the test files named, each test once; the tests of one subject only
// (as the register folds names), unless --subjects-may-differ. The number of tests taken,
// or -1 with the refusal.
int appendFileAttempts(const ProfileOptions& options, std::vector<ProfileAttempt>& attempts, PageHeaderTexts& header,
                       std::string& refusal) {
    std::set<std::string> seen;
    std::vector<std::string> taken;  // the paths whose tests count, in the order named
    std::string firstName, firstPath;
    int64_t firstTime = 0;
    for (const std::string& path : options.files) {
        auto test = std::make_unique<TestRecord>();  // no repetition of one file reaches the next
        std::string message;
        if (!readTestFile(path, *test, &message, SampleStorage::Discard)) {
            refusal = path + ": " + message;
            return -1;
        }
        const std::string identity = testIdentity(path);
        if (!identity.empty() && !seen.insert(identity).second) continue;  // the same test again
        if (taken.empty()) {
            firstName = test->subject.name;
            firstPath = path;
            firstTime = test->testTime;
        } else if (!options.subjectsMayDiffer && foldedName(test->subject.name) != foldedName(firstName)) {
            refusal = "profile takes the tests of one subject: " + firstPath + " is " + firstName + "'s, " + path +
                      " is " + test->subject.name + "'s (--subjects-may-differ takes them together)";
            return -1;
        }
        if (!appendTestAttempts(attempts, *test, path)) {
            refusal = path + ": Incompatible data";
            return -1;
        }
        taken.push_back(path);
    }
    header = profilePageHeader(firstName, firstTime, static_cast<int>(taken.size()));
    return static_cast<int>(taken.size());
}

}  // namespace

int runProfile(const ProfileOptions& options, ProfilePdfWriter writePdf, HandOver handOver) {
    const SubjectTestsQuery& chosen = options.subjectTests;
    const bool bySubject = chosen.subject || chosen.id;
    if (chosen.subject && chosen.id) return fail("profile takes one of --subject TEXT and --id UUID");
    if (bySubject == !options.files.empty())
        return fail(bySubject ? "profile takes test files or a subject (--subject or --id), not both"
                              : "profile needs one or more test files (see vantacheck-cli profile --help)");
    if (!bySubject && (chosen.from || chosen.to || !chosen.url.empty() || !chosen.data.empty()))
        return fail("--from, --to, --url and --data choose a subject's tests: profile needs --subject or --id with them");
    if (!options.pdf.empty())
        if (const std::string refused = refusedOutput("profile", "--pdf", options.pdf, options.overwrite, options.files);
            !refused.empty())
            return fail(refused);
    // The page is drawn with Qt: the program beside this one does the whole command then.
    if (!options.pdf.empty() && !writePdf) {
        if (handOver) return handOver();
        return fail("profile --pdf needs the Qt parts, which this build does not have");
    }

    std::vector<ProfileAttempt> attempts;
    PageHeaderTexts header;
    if (bySubject) {
        SubjectTestsQuery query = chosen;
        if (query.data.empty()) query.data = stationFolders().subjectLibraryDirectory;
        SubjectTests found;
        if (std::string message; !readSubjectTests(query, found, message)) return fail(message);
        if (found.tests.empty()) return fail("No indexed test of this subject.");
        attempts = profileAttemptsOf(found.tests);
        const archive::IndexedTest& first = found.tests.front();
        header = profilePageHeader(first.subject, first.testTime, static_cast<int>(found.tests.size()));
    }
    if (!options.files.empty()) {
        std::string refusal;
        const int tests = appendFileAttempts(options, attempts, header, refusal);
        if (tests < 0) return fail(refusal);
    }
    const Profile profile = buildProfile(attempts, options.swapSides);

    std::string out;
    if (options.json) {
        out = profileJson(profile);
        // The JSON object keeps its shape; what it cannot say goes to standard error.
        if (!profile.bothSides()) std::cerr << profileAsymmetryLines(profile).front() << "\n";
        if (const std::string note = profileNote(profile); !note.empty()) std::cerr << note << "\n";
    } else {
        out = profileText(profile);
    }
    if (writeStandardOutput(out) != 0) return 2;
    if (!options.pdf.empty()) {
        std::string message;
        if (!writePdf(options.pdf, profile, header, &message)) return fail(options.pdf + ": " + message);
        std::cerr << "Wrote " << options.pdf << "\n";
    }
    return 0;
}

PageHeaderTexts profilePageHeader(const TestRecord& first, int tests) {
    return profilePageHeader(first.subject.name, first.testTime, tests);
}

PageHeaderTexts profilePageHeader(const std::string& name, int64_t testTime, int tests) {
    PageHeaderTexts h = pageHeaderTexts(name, testTime, 0.0, 0);
    // Load and repetition belong to one repetition; the profile spans them all.
    if (const size_t weight = h.right.find("Weight:"); weight != std::string::npos) h.right.erase(weight);
    while (!h.right.empty() && h.right.back() == ' ') h.right.pop_back();
    h.right += "    Tests: " + std::to_string(tests);
    return h;
}

void addProfileCommand(CommandLine& line, ProfilePdfWriter writePdf, HandOver handOver) {
    auto options = std::make_shared<ProfileOptions>();
    Command profile = line.add("profile", "load-power profile by side, asymmetry",
             "The profile across loads of the repetitions of the tests named, per side: a stroke\n"
             "with direction +1 is a right one, -1 a left one. Per side and load (equal within\n"
             "0.005 kg) the number of attempts and the attempt of highest peak power (the first on\n"
             "a tie); per side with three loads or more the parabola of peak power on load with its\n"
             "top, with two or more the line of acceleration-phase mean torque on mean velocity\n"
             "(T0, omega0, top power T0 omega0 pi/180/4); the asymmetry (stronger - weaker) /\n"
             "stronger x 100 % at each load tested on both sides and for the best of each side.\n"
             "Repetitions without a peak or with a load of 0 or below are left out and counted.\n"
             "With --subject or --id instead of files: the same over that subject's indexed tests\n"
             "(all of them, or those from --from to --to), from the station's index or with --url\n"
             "from the lab's shared archive (rows only, never the test files).\n")
        .files("FILE.kvq", options->files, "the test files");
    declareSubjectChoice(profile, options->subjectTests,
                         {"instead of files, the indexed tests of the subject whose name\n"
                          "contains TEXT, chosen as history --subject chooses",
                          "instead of files, the indexed tests of the subject with this id",
                          "the station's data folder whose index is read (default: the\n"
                          "folder the station beside this program uses)"},
                         true);
    profile
        .flag("--json", options->json, "one JSON object, every number at full double precision")
        .flag("--subjects-may-differ", options->subjectsMayDiffer,
              "take test files of different subjects together (refused without it)")
        .flag("--swap-sides", options->swapSides,
              "direction +1 is the left side: a box mounted the other way round,\n"
              "as the station's setting (test files, and indexed tests whose\n"
              "station's own setting the archive does not know)")
        .text("--pdf", options->pdf, "OUT.pdf", "also the page the station prints from its Profile screen (A4)",
              "--pdf needs an output file")
        .flag("--overwrite", options->overwrite,
              "replace OUT.pdf when it exists (never a test file, nor one of the\ntests named)")
        .incomplete("profile needs one or more test files (see vantacheck-cli profile --help)")
        .runs([options, writePdf, handOver] { return runProfile(*options, writePdf, handOver); });
}

}  // namespace vanta::cli
