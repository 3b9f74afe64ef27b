#include "app/profile_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace vanta {

namespace {
constexpr const char* kRecentGroup = "Recent File List";
QString entryKey(int i) { return QStringLiteral("File%1").arg(i + 1); }
}  // namespace

void ProfileStore::selectStore() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kProfileOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kProfileApplication));
}

void ProfileStore::load() {
    recent_.clear();
    QSettings store;
    store.beginGroup(QString::fromLatin1(kRecentGroup));
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString path = store.value(entryKey(i)).toString();
        if (!path.isEmpty()) recent_.append(path);
    }
    store.endGroup();
}

void ProfileStore::addRecentFile(const QString& path) {
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    recent_.removeAll(full);
    recent_.prepend(full);
    while (recent_.size() > kRecentFileCount) recent_.removeLast();
    save();
}

void ProfileStore::save() const {
    QSettings store;
    store.beginGroup(QString::fromLatin1(kRecentGroup));
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (i < recent_.size())
            store.setValue(entryKey(i), recent_.at(i));
        else
            store.remove(entryKey(i));
    }
    store.endGroup();
}

}  // namespace vanta
