#include "app/vanta_check_doc.h"

#include <QFile>
#include <QFileInfo>

namespace vanta {

CVanta_checkDoc::CVanta_checkDoc(QObject* parent) : QObject(parent) {}

void CVanta_checkDoc::setTitle(const QString& title) {
    title_ = title;
    emit titleChanged(title_);
}

void CVanta_checkDoc::onNewDocument() { setTitle(QString::fromLatin1(kDefaultDocumentTitle)); }

bool CVanta_checkDoc::onOpenDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    file.close();
    setTitle(QFileInfo(path).fileName());
    return true;
}

}  // namespace vanta
