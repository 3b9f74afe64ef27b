// Before a test file is opened in Extended mode: the current subject's tests, or any
// test file in the data folder.
#pragma once

#include <QDialog>

namespace vanta {

// The dialog's results, as the Open command reads them.
inline constexpr int kLoadChoiceCancelled = 0;
inline constexpr int kLoadChoiceAllData = 1;
inline constexpr int kLoadChoiceSubjectTests = 11;

class LoadChoiceDialog : public QDialog {
    Q_OBJECT
public:
    // Without a current subject only the data folder can be chosen.
    LoadChoiceDialog(const QString& currentSubjectName, bool hasCurrentSubject, QWidget* parent = nullptr);
};

}  // namespace vanta
