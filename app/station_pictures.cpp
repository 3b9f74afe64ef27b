#include "app/station_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include "station/command_ids.h"

namespace vanta {

namespace {

const QColor kInk(0, 0, 0);
const QColor kBlue(0, 64, 160);
const QColor kRed(192, 32, 32);
const QColor kYellow(240, 200, 64);
const QColor kGrey(128, 128, 128);

void drawOpen(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(kYellow);
    p.drawPolygon(QPolygon({QPoint(1, 4), QPoint(6, 4), QPoint(8, 6), QPoint(15, 6), QPoint(15, 14), QPoint(1, 14)}));
    p.setBrush(QColor(250, 230, 140));
    p.drawPolygon(QPolygon({QPoint(3, 8), QPoint(18, 8), QPoint(15, 14), QPoint(1, 14)}));
}

void drawSave(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(kBlue);
    p.drawRect(2, 1, 14, 14);
    p.setBrush(Qt::white);
    p.drawRect(5, 1, 8, 5);
    p.setBrush(kGrey);
    p.drawRect(5, 10, 8, 5);
}

void drawPrint(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(Qt::white);
    p.drawRect(5, 1, 8, 6);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(1, 7, 16, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 11, 10, 5);
    p.setPen(kRed);
    p.drawPoint(15, 9);
}

void drawPerson(QPainter& p, int x) {
    p.setPen(kInk);
    p.setBrush(QColor(240, 190, 150));
    p.drawEllipse(x + 4, 1, 6, 6);
    p.setBrush(kBlue);
    p.drawRoundedRect(x + 2, 8, 10, 8, 3, 3);
}

void drawPerform(QPainter& p) {
    // A barbell across the shoulders with the arrow of the rotation.
    p.setPen(kInk);
    p.setBrush(QColor(240, 190, 150));
    p.drawEllipse(7, 5, 5, 5);
    p.setPen(QPen(kInk, 1));
    p.drawLine(1, 10, 17, 10);
    p.setBrush(kInk);
    p.drawRect(0, 7, 2, 6);
    p.drawRect(16, 7, 2, 6);
    p.setPen(QPen(kRed, 1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(3, 1, 12, 8), 30 * 16, 120 * 16);
    p.drawLine(14, 3, 15, 1);
    p.drawLine(14, 3, 12, 2);
}

void drawDigital(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 16, 14);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(1, 1, 16, 4);
    for (int y : {8, 11}) p.drawLine(1, y, 17, y);
    p.drawLine(7, 1, 7, 15);
    p.drawLine(12, 1, 12, 15);
}

void drawCurve(QPainter& p) {
    p.setPen(kInk);
    p.drawLine(2, 1, 2, 15);
    p.drawLine(2, 15, 17, 15);
    p.setPen(QPen(kRed, 1));
    QPainterPath path(QPointF(3, 14));
    path.cubicTo(QPointF(7, 14), QPointF(8, 2), QPointF(11, 3));
    path.cubicTo(QPointF(14, 4), QPointF(14, 11), QPointF(17, 12));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void drawGraphSetup(QPainter& p) {
    p.setPen(kInk);
    p.drawLine(2, 1, 2, 15);
    p.drawLine(2, 15, 17, 15);
    for (int y = 3; y <= 13; y += 5) p.drawLine(0, y, 2, y);
    for (int x = 6; x <= 17; x += 5) p.drawLine(x, 15, x, 16);
    // A slider: the axis range being set.
    p.setPen(kBlue);
    p.drawLine(6, 7, 16, 7);
    p.setBrush(kBlue);
    p.drawRect(10, 5, 3, 4);
}

void drawSubjectSetup(QPainter& p) {
    drawPerson(p, -1);
    // Two radio buttons: the choice between the station's dialog and the register.
    p.setPen(kInk);
    p.setBrush(Qt::white);
    p.drawEllipse(12, 2, 5, 5);
    p.drawEllipse(12, 10, 5, 5);
    p.setBrush(kInk);
    p.drawEllipse(14, 4, 1, 1);
}

void drawAbout(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(255, 255, 200));
    p.drawEllipse(1, 0, 16, 16);
    QFont f = p.font();
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kBlue);
    p.drawText(QRect(1, 0, 17, 17), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

QPixmap toolbarImage(int commandId) {
    void (*draw)(QPainter&) = nullptr;
    switch (commandId) {
        case cmd::kFileOpen: draw = drawOpen; break;
        case cmd::kFileSave: draw = drawSave; break;
        case cmd::kFilePrint: draw = drawPrint; break;
        case cmd::kSubjectInfo: draw = [](QPainter& p) { drawPerson(p, 2); }; break;
        case cmd::kPerform: draw = drawPerform; break;
        case cmd::kDigitalReport: draw = drawDigital; break;
        case cmd::kCurveGraph: draw = drawCurve; break;
        case cmd::kGraphSetup: draw = drawGraphSetup; break;
        case cmd::kSubjectInfoSetup: draw = drawSubjectSetup; break;
        case cmd::kAppAbout: draw = drawAbout; break;
        default: return QPixmap();
    }
    QPixmap image(kButtonImageWidth, kButtonImageHeight);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    draw(p);
    return image;
}

QPixmap aboutPicture() {
    QPixmap image(kAboutPictureWidth, kAboutPictureHeight);
    image.fill(QColor(235, 242, 250));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);

    // The rotation arc with its arrow heads: the stroke from one side to the other.
    p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(14, 30, 92, 52);
    p.drawArc(arc, 20 * 16, 140 * 16);
    p.setBrush(kRed);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(100, 38), QPointF(108, 46), QPointF(97, 49)}));
    p.drawPolygon(QPolygonF({QPointF(20, 38), QPointF(12, 46), QPointF(23, 49)}));

    // The subject seen from above: shoulders and head under the bar.
    p.setBrush(QColor(240, 190, 150));
    p.setPen(QPen(kInk, 1));
    p.drawEllipse(QRectF(52, 44, 16, 16));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(40, 58, 40, 24), 10, 10);

    // The barbell across the shoulders, with two plates on each end.
    p.setPen(QPen(QColor(60, 60, 60), 3));
    p.drawLine(QPointF(8, 60), QPointF(112, 60));
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(40, 40, 40));
    for (double x : {8.0, 14.0}) p.drawRoundedRect(QRectF(x, 46, 5, 28), 2, 2);
    for (double x : {101.0, 107.0}) p.drawRoundedRect(QRectF(x, 46, 5, 28), 2, 2);

    // The sensor box on the bar.
    p.setBrush(kYellow);
    p.drawRect(QRectF(82, 55, 10, 10));

    p.setPen(kBlue);
    QFont f = p.font();
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(0, 4, kAboutPictureWidth, 18), Qt::AlignCenter, QStringLiteral("VANTA"));
    return image;
}

}  // namespace vanta
