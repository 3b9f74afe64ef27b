#include "station/subject_checks.h"

#include <cmath>

namespace vanta {

namespace {

std::string tooLong() {
    return "Please enter no more than " + std::to_string(kSubjectTextLimit) + " characters.";
}

// Checks one number box; on failure fills `check` and returns false.
bool checkNumber(const std::string& text, int max, SubjectField field, int32_t& out, SubjectCheck& check) {
    long long value = 0;
    if (!parseSubjectInteger(text, value)) {
        check.failed = field;
        check.message = "Please enter an integer.";
        return false;
    }
    if (value < 0 || value > max) {
        check.failed = field;
        check.message = "Please enter an integer between 0 and " + std::to_string(max) + ".";
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

// The weight: a number with decimals, kept as whole kilograms.
bool checkWeight(const std::string& text, int32_t& out, SubjectCheck& check) {
    double value = 0.0;
    if (!parseSubjectDecimal(text, value)) {
        check.failed = SubjectField::Weight;
        check.message = "Please enter a number.";
        return false;
    }
    if (value < 0.0 || value > kMaxWeight) {
        check.failed = SubjectField::Weight;
        check.message = "Please enter a number between 0 and " + std::to_string(kMaxWeight) + ".";
        return false;
    }
    out = static_cast<int32_t>(std::lround(value));
    return true;
}

bool checkText(const std::string& text, SubjectField field, std::string& out, SubjectCheck& check) {
    if (characterCount(text) > kSubjectTextLimit) {
        check.failed = field;
        check.message = tooLong();
        return false;
    }
    out = text;
    return true;
}

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// The character starting at `i` (UTF-8); `length` gets its byte count. A stray byte is
// a character of its own.
char32_t characterAt(std::string_view text, size_t i, size_t& length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t n = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (i + n > text.size()) n = 1;
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (!isContinuationByte(b)) {
            length = 1;
            return lead;
        }
        c = (c << 6) | (b & 0x3F);
    }
    length = n;
    return c;
}

// The blanks a number box may carry around its number: the control characters tab to
// carriage return and every space or separator character, the no-break space included.
bool isBlank(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

}  // namespace

int characterCount(std::string_view text) {
    int n = 0;
    for (size_t i = 0, length = 0; i < text.size(); i += length) {
        characterAt(text, i, length);
        ++n;
    }
    return n;
}

bool parseSubjectInteger(std::string_view text, long long& value) {
    size_t i = 0, length = 0;
    const size_t n = text.size();
    while (i < n && isBlank(characterAt(text, i, length))) i += length;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t firstDigit = i;
    long long v = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        // Beyond any limit the dialog knows: keep it large instead of overflowing.
        if (v < 1000000000000LL) v = v * 10 + (text[i] - '0');
        ++i;
    }
    if (i == firstDigit) return false;
    while (i < n && isBlank(characterAt(text, i, length))) i += length;
    if (i != n) return false;
    value = negative ? -v : v;
    return true;
}

bool parseSubjectDecimal(std::string_view text, double& value) {
    size_t i = 0, length = 0;
    const size_t n = text.size();
    while (i < n && isBlank(characterAt(text, i, length))) i += length;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double v = 0.0, scale = 1.0;
    bool digits = false, separator = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            // Beyond any limit the dialog knows: keep it large, never infinite.
            if (v < 1e12) {
                if (separator) {
                    scale /= 10.0;
                    v += (c - '0') * scale;
                } else {
                    v = v * 10.0 + (c - '0');
                }
            }
        } else if ((c == ',' || c == '.') && !separator) {
            separator = true;
        } else {
            break;
        }
    }
    if (!digits) return false;
    while (i < n && isBlank(characterAt(text, i, length))) i += length;
    if (i != n) return false;
    value = negative ? -v : v;
    return true;
}

SubjectCheck checkSubjectForm(const SubjectForm& form, NameRule nameRule) {
    SubjectCheck check;
    SubjectInfo& v = check.values;
    if (!checkText(form.name, SubjectField::Name, v.name, check)) return check;
    if (nameRule == NameRule::Required && v.name.find_first_not_of(" \t\r\n") == std::string::npos) {
        check.failed = SubjectField::Name;
        check.message = kMsgNameRequired;
        return check;
    }
    if (!checkNumber(form.age, kMaxAge, SubjectField::Age, v.age, check)) return check;
    if (!checkWeight(form.weight, v.weight, check)) return check;
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
    f.name = s.name;
    f.age = std::to_string(s.age);
    f.weight = std::to_string(s.weight);
    f.height = std::to_string(s.height);
    f.comment1 = s.comment1;
    f.comment2 = s.comment2;
    f.comment3 = s.comment3;
    f.sex = s.sex;
    return f;
}

}  // namespace vanta
