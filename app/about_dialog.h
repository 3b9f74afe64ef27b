// The About box: "About Kavel Vanta check", the picture at the left, the product name and
// version at the right, and OK. 243 x 94 dialog units.
#pragma once

#include <QDialog>

namespace vanta {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace vanta
