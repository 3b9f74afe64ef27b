// vantacheck-cli recover: the tests a station or a record run left in their journals when
// they stopped unexpectedly, listed, and written back as test files: listUnsavedTests and
// recoverUnsavedTest, on the options the command line declares.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/station_folders.h"
#include "reports/page_header.h"
#include "storage/session_journal.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

struct RecoverOptions {
    bool list = false;
    std::string data;     // --list: the folder (empty: the station's DATA folder)
    std::string journal;  // JOURNAL
    std::string out;      // --out FILE
    bool overwrite = false;
};

std::string attemptsText(int n) { return std::to_string(n) + (n == 1 ? " attempt" : " attempts"); }

// The listing's last column: how far the journal could be read; empty when read whole.
std::string readingNote(const JournalReading& r) {
    const std::string after = r.attempts == 0 ? "before the first attempt" : "after attempt " + std::to_string(r.attempts);
    switch (r.ending) {
        case JournalEnd::Whole: return {};
        case JournalEnd::TornTail: return "its last record was being written when it stopped (never stored)";
        case JournalEnd::Damaged: return "damaged " + after + " (at byte " + std::to_string(r.damageOffset) + ")";
        case JournalEnd::ReadError: return "cannot be read " + after + ": " + std::strerror(r.error);
        case JournalEnd::NotJournal: return "cannot be read: " + describeEnding(r);
    }
    return {};
}

std::string listLine(const JournalEntry& e) {
    std::string line = e.path + "\t" + (e.subjectName.empty() ? "(no name)" : e.subjectName) + "\t" +
                       formatTime(e.testTime, "%d.%m.%Y %H:%M:%S") + "\t" + attemptsText(e.attempts) + "\t" +
                       (e.held ? "held by a running station" : "not held");
    const std::string note = readingNote(e.reading);
    return note.empty() ? line + "\n" : line + "\t" + note + "\n";
}

int listUnsavedTests(const RecoverOptions& o) {
    const std::string folder = o.data.empty() ? stationFolders().dataDirectory : o.data;
    const JournalListing listing = listJournals(folder);
    if (listing.error != 0 && listing.entries.empty()) return fail(folder + ": " + std::strerror(listing.error));
    std::string text;
    for (const JournalEntry& e : listing.entries) text += listLine(e);
    if (const int status = writeStandardOutput(text)) return status;
    return listing.error != 0 ? fail(folder + ": " + std::strerror(listing.error)) : 0;
}

// Refuses an output that is the journal itself, or an existing file without --overwrite.
int checkOutput(const RecoverOptions& o) {
    if (o.out == o.journal || isSameFile(o.journal, o.out))
        return fail(o.out + " is the journal itself; recover never writes over its input");
    struct stat st {};
    if (::lstat(o.out.c_str(), &st) == 0 && !o.overwrite)
        return fail(o.out + " exists; recover replaces a file only with --overwrite");
    return 0;
}

// What was left out, on standard error: said plainly for a torn tail, with the place of
// the damage otherwise.
void tellWhatWasLeftOut(const std::string& journal, const JournalReading& r) {
    if (r.ending == JournalEnd::TornTail)
        std::cerr << journal << ": its last record was being written when the station stopped; it was never stored "
                  << "and is left out (" << r.droppedBytes << " bytes at the end).\n";
    else if (r.ending == JournalEnd::Damaged)
        std::cerr << journal << ": damaged after " << (r.attempts == 0 ? "its start" : attemptsText(r.attempts))
                  << " (at byte " << r.damageOffset << "): " << r.droppedRecords
                  << (r.droppedRecords == 1 ? " damaged record" : " damaged records") << " dropped (" << r.droppedBytes
                  << " bytes).\n";
}

int recoverUnsavedTest(const RecoverOptions& o) {
    if (const int refused = checkOutput(o)) return refused;
    auto test = std::make_unique<TestRecord>();
    const JournalReading r = readJournal(o.journal, test.get());
    if (!r.opened) return fail(o.journal + ": " + kMsgErrorOpeningFile.data() + " (" + std::strerror(r.error ? r.error : EIO) + ")");
    if (r.ending == JournalEnd::ReadError)
        return fail(o.journal + ": " + describeEnding(r) + "; " + o.out + " was not written.");
    if (!r.isJournal) return fail(o.journal + ": not a journal of the station");
    tellWhatWasLeftOut(o.journal, r);
    if (r.attempts == 0) return fail(o.journal + ": no attempt to recover; " + o.out + " was not written.");
    std::string message, reason;
    if (!writeTestFile(o.out, *test, &message, &reason))
        return fail(o.out + ": " + message + (reason.empty() || message.find(reason) != std::string::npos ? "" : " (" + reason + ")"));
    std::cerr << attemptsText(r.attempts) << " recovered to " << o.out << "; the journal stays until you delete it.\n";
    return 0;
}

int runRecover(const RecoverOptions& o) {
    if (o.list) {
        if (!o.journal.empty() || !o.out.empty() || o.overwrite) return fail("recover --list takes only --data DIR");
        return listUnsavedTests(o);
    }
    if (o.journal.empty() || o.out.empty())
        return fail("recover needs JOURNAL --out FILE.kvq (see vantacheck-cli recover --help)");
    return recoverUnsavedTest(o);
}

}  // namespace

void addRecoverCommand(CommandLine& line) {
    auto options = std::make_shared<RecoverOptions>();
    line.add("recover", "tests left unsaved",
             "The station and record keep every stored attempt of an unsaved test in a journal,\n"
             "\"unsaved-<date>-<time>.kvqj\", beside the tests, until the test is saved.\n"
             "--list prints one line per journal in DIR (default: the station's DATA folder):\n"
             "path, subject, date, attempts, whether a running station holds it, and, for a\n"
             "journal not read whole, where it is damaged or why it cannot be read.\n"
             "JOURNAL --out FILE writes the test the journal holds, byte for byte as Save would\n"
             "have written it. A journal cut short by a crash gives the attempts before the cut;\n"
             "a damaged one the attempts before the damage; both are said on standard error.\n"
             "An existing FILE is replaced only with --overwrite, and never the journal itself.\n"
             "Exit status 0 when at least one attempt was recovered, 2 otherwise (a journal that\n"
             "cannot be read writes nothing). The journal itself is left as it is.\n")
        .file("JOURNAL", options->journal, "the journal to recover")
        .flag("--list", options->list, "list the journals instead")
        .text("--out", options->out, "FILE.kvq", "the test file to write", "--out needs a path")
        .flag("--overwrite", options->overwrite, "replace FILE.kvq when it exists (never the journal)")
        .text("--data", options->data, "DIR", "the folder whose journals --list lists", "--data needs a path")
        .tooMany("recover takes one journal")
        .runs([options] { return runRecover(*options); });
}

}  // namespace vanta::cli
