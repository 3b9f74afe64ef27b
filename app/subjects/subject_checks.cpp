#include "app/subjects/subject_checks.h"

namespace vanta {

namespace {

QString tooLong() {
    return QStringLiteral("Please enter no more than %1 characters.").arg(kSubjectTextLimit);
}

// Checks one number box; on failure fills `check` and returns false.
bool checkNumber(const QString& text, int max, SubjectField field, int32_t& out, SubjectCheck& check) {
    long long value = 0;
    if (!parseSubjectInteger(text, value)) {
        check.failed = field;
        check.message = QStringLiteral("Please enter an integer.");
        return false;
    }
    if (value < 0 || value > max) {
        check.failed = field;
        check.message = QStringLiteral("Please enter an integer between %1 and %2.").arg(0).arg(max);
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool checkText(const QString& text, SubjectField field, std::string& out, SubjectCheck& check) {
    if (characterCount(text) > kSubjectTextLimit) {
        check.failed = field;
        check.message = tooLong();
        return false;
    }
    out = text.toStdString();
    return true;
}

}  // namespace

int characterCount(const QString& text) {
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        ++n;
    }
    return n;
}

bool parseSubjectInteger(const QString& text, long long& value) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace()) ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    const qsizetype firstDigit = i;
    long long v = 0;
    while (i < n && text.at(i) >= u'0' && text.at(i) <= u'9') {
        // Beyond any limit the dialog knows: keep it large instead of overflowing.
        if (v < 1000000000000LL) v = v * 10 + (text.at(i).unicode() - u'0');
        ++i;
    }
    if (i == firstDigit) return false;
    while (i < n && text.at(i).isSpace()) ++i;
    if (i != n) return false;
    value = negative ? -v : v;
    return true;
}

SubjectCheck checkSubjectForm(const SubjectForm& form) {
    SubjectCheck check;
    SubjectInfo& v = check.values;
    if (!checkText(form.name, SubjectField::Name, v.name, check)) return check;
    if (!checkNumber(form.age, kMaxAge, SubjectField::Age, v.age, check)) return check;
    if (!checkNumber(form.weight, kMaxWeight, SubjectField::Weight, v.weight, check)) return check;
    if (!checkNumber(form.height, kMaxHeight, SubjectField::Height, v.height, check)) return check;
    if (!checkText(form.comment1, SubjectField::Comment1, v.comment1, check)) return check;
    if (!checkText(form.comment3, SubjectField::Comment3, v.comment3, check)) return check;
    // The radio group cannot fail: a choice is 0 or 1, no choice is -1.
    v.sex = (form.sex == 0 || form.sex == 1) ? form.sex : -1;
    if (!checkText(form.comment2, SubjectField::Comment2, v.comment2, check)) return check;
    return check;
}

SubjectForm formFromSubject(const SubjectInfo& s) {
    SubjectForm f;
    f.name = QString::fromStdString(s.name);
    f.age = QString::number(s.age);
    f.weight = QString::number(s.weight);
    f.height = QString::number(s.height);
    f.comment1 = QString::fromStdString(s.comment1);
    f.comment2 = QString::fromStdString(s.comment2);
    f.comment3 = QString::fromStdString(s.comment3);
    f.sex = s.sex;
    return f;
}

}  // namespace vanta
