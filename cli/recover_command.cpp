// vantacheck-cli recover: the tests a station or a record run left in their journals when
// they stopped unexpectedly, listed, and written back as test files.
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/station_folders.h"
#include "reports/page_header.h"
#include "storage/session_journal.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

std::string attemptsText(int n) { return std::to_string(n) + (n == 1 ? " attempt" : " attempts"); }

int runList(const std::string& folder) {
    for (const JournalEntry& e : listJournals(folder).entries) {
        std::cout << e.path << "\t" << (e.subjectName.empty() ? "(no name)" : e.subjectName) << "\t"
                  << formatTime(e.testTime, "%d.%m.%Y %H:%M:%S") << "\t" << attemptsText(e.attempts) << "\t"
                  << (e.held ? "held by a running station" : "not held");
        if (e.droppedRecords > 0) std::cout << "\t" << e.droppedRecords << " damaged records at the end";
        std::cout << "\n";
    }
    return 0;
}

int runRecover(const Args& args) {
    std::string journal, out, data;
    bool list = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--list") {
            list = true;
        } else if (a == "--data" || a == "--out") {
            if (!hasValue || args[i + 1].empty()) return fail(a + " needs a path");
            (a == "--data" ? data : out) = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli recover --help)");
        } else if (journal.empty()) {
            journal = a;
        } else {
            return fail("recover takes one journal");
        }
    }
    if (list) {
        if (!journal.empty() || !out.empty()) return fail("recover --list takes only --data DIR");
        return runList(data.empty() ? stationFolders().dataDirectory : data);
    }
    if (journal.empty() || out.empty()) return fail("recover needs JOURNAL --out FILE.kvq (see vantacheck-cli recover --help)");

    auto test = std::make_unique<TestRecord>();
    const JournalReading r = readJournal(journal, test.get());
    if (!r.opened || r.error != 0) return fail(journal + ": " + kMsgErrorOpeningFile.data());
    if (!r.isJournal) return fail(journal + ": not a journal of the station");
    if (r.droppedRecords > 0)
        std::cerr << journal << ": " << r.droppedRecords << (r.droppedRecords == 1 ? " damaged record" : " damaged records")
                  << " dropped (" << r.droppedBytes << " bytes at the end)\n";
    if (r.attempts == 0) {
        std::cerr << journal << ": no attempt to recover; " << out << " was not written.\n";
        return 2;
    }
    std::string message;
    if (!writeTestFile(out, *test, &message)) return fail(out + ": " + message);
    std::cerr << attemptsText(r.attempts) << " recovered to " << out << "; the journal stays until you delete it.\n";
    return 0;
}

}  // namespace

const std::vector<Command>& recoverCommands() {
    static const std::vector<Command> commands = {
        {"recover", "recover --list [--data DIR] | recover JOURNAL --out FILE.kvq   tests left unsaved",
         "Usage: vantacheck-cli recover --list [--data DIR]\n"
         "       vantacheck-cli recover JOURNAL --out FILE.kvq\n"
         "The station and record keep every stored attempt of an unsaved test in a journal,\n"
         "\"unsaved-<date>-<time>.kvqj\", beside the tests, until the test is saved.\n"
         "--list prints one line per journal in DIR (default: the station's DATA folder):\n"
         "path, subject, date, attempts, and whether a running station holds it.\n"
         "JOURNAL --out FILE writes the test the journal holds, byte for byte as Save would\n"
         "have written it. A journal cut short by a crash gives the attempts before the damage;\n"
         "how many records were dropped is said on standard error. Exit status 0 when at least\n"
         "one attempt was recovered, 2 otherwise. The journal itself is left as it is.\n",
         runRecover},
    };
    return commands;
}

}  // namespace vanta::cli
