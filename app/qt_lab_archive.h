// The lab's shared archive for the window: the questions go to the reader's thread
// (archive/lab_reader.h) and each answer comes back on the window's thread through the
// event loop. Made only where an archive server is set; an answer still on its way when
// this object goes is dropped with it.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "station/lab_archive.h"

namespace vanta {
namespace archive {
class LabArchiveReader;
}

class QtLabArchive : public QObject, public LabArchive {
    Q_OBJECT
public:
    explicit QtLabArchive(const std::string& connection, QObject* parent = nullptr);
    ~QtLabArchive() override;

    void subjectTests(const std::string& subjectId, const std::string& name, Done done) override;
    void listTests(Done done) override;
    void fetch(const std::string& sha256, Done done) override;
    void findSubjects(const std::string& name, Done done) override;
    void storeSubject(const RegisteredSubject& subject, Done done) override;
    void mergeSubjects(const RegisteredSubject& keep, const RegisteredSubject& gone, Done done) override;

private:
    // Runs on the reader's thread: hands the answer to `done` on the window's thread.
    std::function<void(LabArchiveAnswer)> backHome(Done done);

    std::unique_ptr<archive::LabArchiveReader> reader_;
};

}  // namespace vanta
