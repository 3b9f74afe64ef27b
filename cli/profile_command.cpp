// vantacheck-cli profile: the load-power profile by side and the asymmetry of one or more
// tests, as a table, as JSON, and as the page the station prints from its Profile screen.
#include <iostream>
#include <memory>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/profile_output.h"
#include "profile/profile.h"
#include "profile/profile_texts.h"
#include "storage/test_file.h"

namespace vanta::cli {

int runProfile(const ProfileOptions& options, ProfilePdfWriter writePdf, HandOver handOver) {
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
    auto test = std::make_unique<TestRecord>();
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        // Each file starts from a clean record: no repetition of one file reaches the next.
        if (i > 0) test = std::make_unique<TestRecord>();
        std::string message;
        if (!readTestFile(path, *test, &message, SampleStorage::Discard)) return fail(path + ": " + message);
        if (!appendTestAttempts(attempts, *test, path)) return fail(path + ": Incompatible data");
        if (i == 0) header = profilePageHeader(*test, static_cast<int>(options.files.size()));
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
    PageHeaderTexts h = pageHeaderTexts(first, 0);
    // Load and repetition belong to one repetition; the profile spans them all.
    if (const size_t weight = h.right.find("Weight:"); weight != std::string::npos) h.right.erase(weight);
    while (!h.right.empty() && h.right.back() == ' ') h.right.pop_back();
    h.right += "    Tests: " + std::to_string(tests);
    return h;
}

void addProfileCommand(CommandLine& line, ProfilePdfWriter writePdf, HandOver handOver) {
    auto options = std::make_shared<ProfileOptions>();
    line.add("profile", "load-power profile by side, asymmetry",
             "The profile across loads of the repetitions of the tests named, per side: a stroke\n"
             "with direction +1 is a right one, -1 a left one. Per side and load (equal within\n"
             "0.005 kg) the number of attempts and the attempt of highest peak power (the first on\n"
             "a tie); per side with three loads or more the parabola of peak power on load with its\n"
             "top, with two or more the line of acceleration-phase mean torque on mean velocity\n"
             "(T0, omega0, top power T0 omega0 pi/180/4); the asymmetry (stronger - weaker) /\n"
             "stronger x 100 % at each load tested on both sides and for the best of each side.\n"
             "Repetitions without a peak or with a load of 0 or below are left out and counted.\n")
        .files("FILE.kvq", options->files, "the test files").required()
        .flag("--json", options->json, "one JSON object, every number at full double precision")
        .flag("--swap-sides", options->swapSides,
              "direction +1 is the left side: a box mounted the other way round,\n"
              "as the station's setting")
        .text("--pdf", options->pdf, "OUT.pdf", "also the page the station prints from its Profile screen (A4)",
              "--pdf needs an output file")
        .flag("--overwrite", options->overwrite,
              "replace OUT.pdf when it exists (never a test file, nor one of the\ntests named)")
        .incomplete("profile needs one or more test files (see vantacheck-cli profile --help)")
        .runs([options, writePdf, handOver] { return runProfile(*options, writePdf, handOver); });
}

}  // namespace vanta::cli
