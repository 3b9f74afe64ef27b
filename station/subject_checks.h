// The checks of the subject dialog on OK, without the widgets: the texts of the fields
// in, the first field that fails and its message out, or the values when all pass.
// Texts are UTF-8.
#pragma once

#include <string>

#include "core/records.h"

namespace vanta {

// The fields in the order the dialog checks them on OK. The order is the station's own
// (Comment 3 before Sex and Comment 2) and decides which message the operator sees first.
enum class SubjectField { Name, Age, Weight, Height, Comment1, Comment3, Sex, Comment2, None };

inline constexpr int kSubjectTextLimit = 66;
inline constexpr int kMaxAge = 130;
inline constexpr int kMaxWeight = 200;
inline constexpr int kMaxHeight = 300;

// What the dialog's fields hold when OK is pressed.
struct SubjectForm {
    std::string name, age, weight, height, comment1, comment2, comment3;
    int sex = -1;  // 0 "female", 1 "male", -1 neither chosen
};

struct SubjectCheck {
    SubjectField failed = SubjectField::None;  // None: every field passed
    std::string message;                       // the operator's message for `failed`
    SubjectInfo values;                        // complete only when every field passed
};

// Characters as the operator counts them: one per character, whatever its UTF-8 length.
int characterCount(std::string_view text);

// A number box's text as the station reads it: optional blanks, an optional sign and
// digits, optional blanks. False when it is no integer.
bool parseSubjectInteger(std::string_view text, long long& value);

// The weight box's text: like an integer, with a decimal comma or point and digits after
// it allowed ("61,5", as the load box reads a comma).
bool parseSubjectDecimal(std::string_view text, double& value);

// Whether the subject must have a name. The station's own dialog (Abbreviated) takes a
// blank name, as test files may hold one; a subject of the register needs one.
enum class NameRule { Optional, Required };
inline constexpr const char* kMsgNameRequired = "Please enter a name.";

// Checks in the order above. `age` is kept in the values although test files do not
// carry it. The weight may have decimals; test files and the register keep whole
// kilograms, so it is rounded to the nearest (61.5 kg: 62).
SubjectCheck checkSubjectForm(const SubjectForm& form, NameRule nameRule = NameRule::Optional);

// The texts the dialog shows for a subject.
SubjectForm formFromSubject(const SubjectInfo& subject);

}  // namespace vanta
