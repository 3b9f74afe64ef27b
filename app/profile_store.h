// The per-user profile store: the platform's standard profile settings under the key
// "Local AppWizard-Generated Applications", of which the station uses only the list of
// recently used test files (4 entries, newest first).
#pragma once

#include <QString>
#include <QStringList>

namespace vanta {

inline constexpr const char* kProfileOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kProfileApplication = "vanta_check";
inline constexpr int kRecentFileCount = 4;

class ProfileStore {
public:
    // Sets the organisation and application names the platform's store uses; call before
    // anything opens the store (start-up step 1).
    static void selectStore();

    // Loads the recent-file list.
    void load();
    QStringList recentFiles() const { return recent_; }
    // Puts the file at the top of the list (once), keeps 4 and writes the list back.
    void addRecentFile(const QString& path);

private:
    void save() const;
    QStringList recent_;
};

}  // namespace vanta
