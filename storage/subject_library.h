// What the station asks of a subject library: a register of subjects with one current
// subject and a data directory per subject. In "Extended" mode the station keeps subject
// data through it; in "Abbreviated" mode it never calls it. The station relies on exactly
// these results and nothing else: the two dialogs' answers and whether a current subject
// exists.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"

namespace vanta {

inline constexpr const char* kSubjectLibraryProduct = "VANCHECK";

// chooseLoadPlace's answers the station tells apart.
inline constexpr int kLoadDialogCancelled = 0;
inline constexpr int kLoadDialogLibraryDirectory = 11;

class SubjectLibrary {
public:
    virtual ~SubjectLibrary() = default;

    // Start-up, once, only in Extended mode: the data root and the product tag.
    virtual void initialise(const std::string& dataRoot, const std::string& productTag) = 0;
    // Lets the operator choose (search, add, edit) a subject; true when one was chosen.
    virtual bool chooseSubject() = 0;
    // True when the library has a valid current subject.
    virtual bool hasCurrentSubject() = 0;
    // Copies the library's current subject into the station's subject.
    virtual void copyCurrentSubject(SubjectInfo& subject) = 0;
    // Hands over the subject just read from a test file when there is no current one.
    virtual void adoptSubject(SubjectInfo& subject) = 0;
    // Puts into `directory` the folder where a test taken at `testTime` belongs.
    virtual void testDirectory(int32_t testTime, std::string& directory) = 0;
    // Offers the current subject's tests or free browsing: 0 cancelled, 11 start the file
    // dialog in the library's directory, anything else in the data directory.
    virtual int chooseLoadPlace() = 0;
    // Puts into `directory` the library's folder the open dialog starts in.
    virtual void subjectDirectory(std::string& directory) = 0;
    // May make the subject whose directory holds this test file the current subject.
    virtual void selectSubjectOfFile(const std::string& testFilePath) = 0;
    // The current subject's permanent id in the register (its UUID); empty when there is
    // no current subject or the library keeps none (the session journal records it).
    virtual std::string currentSubjectKey() { return {}; }
    // Makes the subject with this permanent id current (a recovered test's subject); false
    // when the library does not know it.
    virtual bool selectSubjectByKey(const std::string& key) {
        (void)key;
        return false;
    }
};

}  // namespace vanta
