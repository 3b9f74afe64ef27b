// The dialog-bar slot of the main window as the screens use it: at most one bar, built
// from its template, and the few things a screen does with the bar's controls. The
// window implements it with widgets; tests put a recording double in its place.
#pragma once

#include <string>
#include <vector>

namespace vanta {

class BarHost {
public:
    virtual ~BarHost() = default;

    // hideBar, then the bar of the template docked at the top. A template that cannot be
    // built leaves the slot empty; nothing is reported.
    virtual void showBar(int templateId) = 0;
    // Hides and destroys the bar on show, if any.
    virtual void hideBar() = 0;
    // The load list 1072 is enabled or disabled; any other control shown or hidden.
    virtual void showBarControl(int id, bool on) = 0;
    // Empties the drop-down list, adds the entries in order, selects entry `selected`.
    virtual void fillBarList(int id, const std::vector<std::string>& entries, int selected) = 0;
    // The selected entry of a list, -1 when none.
    virtual int barSelection(int id) const = 0;
    // Load list 1072 and radius box 1039: the number in the text (at most kBarTextLimit
    // characters, the C library's rule, 0 when none). Any other id: the selected index.
    virtual float readBarNumber(int id) const = 0;
    // The text of an edit box or of an editable list.
    virtual void setBarText(int id, const std::string& text) = 0;
};

}  // namespace vanta
