#include "app/about_dialog.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

#include "app/station_pictures.h"

namespace vanta {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("About Kavel Vanta check"));
    setModal(true);

    const QFontMetricsF fm(font());
    const double ux = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 / 4.0;
    const double uy = fm.height() / 8.0;
    auto dlu = [&](int x, int y, int w, int h) {
        return QRect(qRound(x * ux), qRound(y * uy), qRound(w * ux), qRound(h * uy));
    };
    const QRect box = dlu(0, 0, 243, 94);
    // The picture keeps its own 120 x 90 pixels; the box grows if the font is small.
    setFixedSize(qMax(box.width(), kAboutPictureWidth + 24 + qRound(110 * ux)),
                 qMax(box.height(), kAboutPictureHeight + 20));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("aboutPicture"));
    picture->setPixmap(aboutPicture());
    picture->setGeometry(10, 10, kAboutPictureWidth, kAboutPictureHeight);

    const int textLeft = kAboutPictureWidth + 24;
    auto* product = new QLabel(QStringLiteral("Kavel Vanta Mero"), this);
    product->setObjectName(QStringLiteral("aboutProduct"));
    product->setGeometry(textLeft, dlu(0, 14, 0, 0).y(), width() - textLeft - 10, qRound(10 * uy));
    auto* version = new QLabel(QStringLiteral("ver 1.4"), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setGeometry(textLeft, dlu(0, 30, 0, 0).y(), width() - textLeft - 10, qRound(10 * uy));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    const QRect okRect = dlu(0, 0, 50, 14);
    ok->setGeometry(width() - okRect.width() - 10, height() - okRect.height() - 10, okRect.width(),
                    okRect.height());
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vanta
