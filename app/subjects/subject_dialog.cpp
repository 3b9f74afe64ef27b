#include "app/subjects/subject_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vanta {

namespace {

// A text box that refuses a typed character beyond its limit, as the station's boxes
// always have, but shows a longer text it is given (a name read from an old test file)
// in full and lets the operator shorten it. Pasted text is not cut either: the check on
// OK tells the operator what is too long.
class LimitedLineEdit : public QLineEdit {
public:
    LimitedLineEdit(int limit, QWidget* parent) : QLineEdit(parent), limit_(limit) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (wouldGrowBeyondLimit(event->text())) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (wouldGrowBeyondLimit(event->commitString())) {
            event->accept();
            return;
        }
        QLineEdit::inputMethodEvent(event);
    }

private:
    bool wouldGrowBeyondLimit(const QString& typed) const {
        if (typed.isEmpty() || !typed.at(0).isPrint()) return false;
        const int after = characterCount(text().toStdString()) - characterCount(selectedText().toStdString()) +
                          characterCount(typed.toStdString());
        return after > limit_;
    }
    int limit_;
};

QLineEdit* numberBox(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    // Digits only, as typed or pasted; the range is checked on OK.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

}  // namespace

SubjectDialog::SubjectDialog(const SubjectInfo& subject, QWidget* parent) : QDialog(parent), subject_(subject) {
    setWindowTitle(QStringLiteral("Subject dialog"));

    name_ = new LimitedLineEdit(kSubjectTextLimit, this);
    age_ = numberBox(this);
    weight_ = numberBox(this);
    // The weight may be typed with a decimal comma or point ("61,5").
    weight_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*([.,][0-9]*)?")), weight_));
    height_ = numberBox(this);
    comment1_ = new LimitedLineEdit(kSubjectTextLimit, this);
    comment2_ = new LimitedLineEdit(kSubjectTextLimit, this);
    comment3_ = new LimitedLineEdit(kSubjectTextLimit, this);
    name_->setObjectName(QStringLiteral("name"));
    age_->setObjectName(QStringLiteral("age"));
    weight_->setObjectName(QStringLiteral("weight"));
    height_->setObjectName(QStringLiteral("height"));
    comment1_->setObjectName(QStringLiteral("comment1"));
    comment2_->setObjectName(QStringLiteral("comment2"));
    comment3_->setObjectName(QStringLiteral("comment3"));

    auto* sexBox = new QGroupBox(QStringLiteral("Sex"), this);
    female_ = new QRadioButton(QStringLiteral("female"), sexBox);
    male_ = new QRadioButton(QStringLiteral("male"), sexBox);
    female_->setObjectName(QStringLiteral("female"));
    male_->setObjectName(QStringLiteral("male"));
    auto* sexGroup = new QButtonGroup(this);
    sexGroup->addButton(female_, 0);
    sexGroup->addButton(male_, 1);
    auto* sexLayout = new QHBoxLayout(sexBox);
    sexLayout->addWidget(female_);
    sexLayout->addWidget(male_);

    // The text boxes show their 66 characters whole (of average width), so a long name or
    // comment is seen as it will be stored.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int textWidth = fontMetrics().horizontalAdvance(letters) * kSubjectTextLimit / 52 + 12;
    for (QLineEdit* text : {name_, comment1_, comment2_, comment3_}) text->setMinimumWidth(textWidth);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), name_);
    form->addRow(sexBox);
    form->addRow(QStringLiteral("Age"), age_);
    form->addRow(QStringLiteral("Weight"), weight_);
    form->addRow(QStringLiteral("Height"), height_);
    form->addRow(QStringLiteral("Comment 1"), comment1_);
    form->addRow(QStringLiteral("Comment 2"), comment2_);
    form->addRow(QStringLiteral("Comment 3"), comment3_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SubjectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SubjectDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    const SubjectForm shown = formFromSubject(subject_);
    name_->setText(QString::fromStdString(shown.name));
    age_->setText(QString::fromStdString(shown.age));
    weight_->setText(QString::fromStdString(shown.weight));
    height_->setText(QString::fromStdString(shown.height));
    comment1_->setText(QString::fromStdString(shown.comment1));
    comment2_->setText(QString::fromStdString(shown.comment2));
    comment3_->setText(QString::fromStdString(shown.comment3));
    // 0 female, 1 male; -1 (or anything else from a file) leaves both unchosen.
    female_->setChecked(subject_.sex == 0);
    male_->setChecked(subject_.sex == 1);

    name_->setFocus(Qt::OtherFocusReason);
    name_->selectAll();
}

SubjectForm SubjectDialog::form() const {
    SubjectForm f;
    f.name = name_->text().toStdString();
    f.age = age_->text().toStdString();
    f.weight = weight_->text().toStdString();
    f.height = height_->text().toStdString();
    f.comment1 = comment1_->text().toStdString();
    f.comment2 = comment2_->text().toStdString();
    f.comment3 = comment3_->text().toStdString();
    f.sex = female_->isChecked() ? 0 : (male_->isChecked() ? 1 : -1);
    return f;
}

QWidget* SubjectDialog::fieldWidget(SubjectField field) const {
    switch (field) {
        case SubjectField::Name: return name_;
        case SubjectField::Age: return age_;
        case SubjectField::Weight: return weight_;
        case SubjectField::Height: return height_;
        case SubjectField::Comment1: return comment1_;
        case SubjectField::Comment2: return comment2_;
        case SubjectField::Comment3: return comment3_;
        case SubjectField::Sex: return female_;
        case SubjectField::None: break;
    }
    return nullptr;
}

void SubjectDialog::accept() {
    const SubjectCheck check = checkSubjectForm(form(), nameRule_);
    if (check.failed != SubjectField::None) {
        tellOperator(messageHook_, this, QString::fromStdString(check.message));
        QWidget* w = fieldWidget(check.failed);
        if (w) w->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
        return;
    }
    subject_ = check.values;
    QDialog::accept();
}

bool SubjectDialog::edit(SubjectInfo& subject, QWidget* parent, MessageHook hook, NameRule nameRule) {
    SubjectDialog dlg(subject, parent);
    dlg.setMessageHook(std::move(hook));
    dlg.setNameRule(nameRule);
    if (dlg.exec() != QDialog::Accepted) return false;
    subject = dlg.subject();
    return true;
}

}  // namespace vanta
