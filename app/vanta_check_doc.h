// The document of the station's single-document window. It holds no data (the test lives
// in the records the application object owns); it gives the window its title.
#pragma once

#include <QObject>
#include <QString>

namespace vanta {

inline constexpr const char* kDefaultDocumentTitle = "KavelTek";

class CVanta_checkDoc : public QObject {
    Q_OBJECT
public:
    explicit CVanta_checkDoc(QObject* parent = nullptr);

    QString title() const { return title_; }

    // New document: the title becomes "KavelTek". The test records stay as they are.
    void onNewDocument();
    // A file named on the command line: it must be readable, and only its name titles the
    // document; nothing is read into the test records (that is the Open command's work).
    bool onOpenDocument(const QString& path);

signals:
    void titleChanged(const QString& title);

private:
    void setTitle(const QString& title);
    QString title_;
};

}  // namespace vanta
