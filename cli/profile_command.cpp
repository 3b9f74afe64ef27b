// vantacheck-cli profile: the load-power profile by side and the asymmetry of one or more
// tests, as a table, as JSON, and as the page the station prints from its Profile screen.
#include <iostream>
#include <memory>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/profile_output.h"
#include "profile/profile.h"
#include "profile/profile_texts.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

struct ProfileArgs {
    std::vector<std::string> files;
    bool json = false;
    bool swapSides = false;
    std::string pdf;
};

std::string parseProfileArgs(const Args& args, ProfileArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            out.json = true;
        } else if (a == "--swap-sides") {
            out.swapSides = true;
        } else if (a == "--pdf") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return "--pdf needs an output file";
            out.pdf = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return "Unknown option " + a + " (see vantacheck-cli profile --help)";
        } else {
            out.files.push_back(a);
        }
    }
    if (out.files.empty()) return "profile needs one or more test files (see vantacheck-cli profile --help)";
    return {};
}

}  // namespace

int runProfile(const Args& args, ProfilePdfWriter writePdf, int (*handOver)(const Args&)) {
    ProfileArgs options;
    if (const std::string error = parseProfileArgs(args, options); !error.empty()) return fail(error);
    // The page is drawn with Qt: the program beside this one does the whole command then.
    if (!options.pdf.empty() && !writePdf) {
        if (handOver) return handOver(args);
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
    std::cout << out << std::flush;
    if (!std::cout) return fail("Cannot write the output.");
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

Command profileCommand(int (*run)(const Args& args)) {
    return {"profile", "profile FILE.kvq... [--json] [--pdf OUT.pdf]   load-power profile by side, asymmetry",
            "Usage: vantacheck-cli profile FILE.kvq [FILE.kvq ...] [--json] [--swap-sides] [--pdf OUT.pdf]\n"
            "The profile across loads of the repetitions of the tests named, per side: a stroke\n"
            "with direction +1 is a right one, -1 a left one (--swap-sides for a box mounted the\n"
            "other way round, as the station's setting). Per side and load (equal within\n"
            "0.005 kg) the number of attempts and the attempt of highest peak power (the first on\n"
            "a tie); per side with three loads or more the parabola of peak power on load with its\n"
            "top, with two or more the line of acceleration-phase mean torque on mean velocity\n"
            "(T0, omega0, top power T0 omega0 pi/180/4); the asymmetry (stronger - weaker) /\n"
            "stronger x 100 % at each load tested on both sides and for the best of each side.\n"
            "Repetitions without a peak or with a load of 0 or below are left out and counted.\n"
            "  --json          one JSON object, every number at full double precision\n"
            "  --pdf OUT.pdf   also the page the station prints from its Profile screen (A4)\n",
            run};
}

}  // namespace vanta::cli
