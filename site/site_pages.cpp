#include "site/site_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include <kainjow/mustache.hpp>

#include "archive/sha256.h"
#include "canvas/svg_draw_context.h"
#include "history/history_drawing.h"
#include "history/history_texts.h"
#include "profile/profile_drawing.h"
#include "profile/profile_texts.h"
#include "storage/name_folding.h"

namespace vanta::site {

namespace {

using kainjow::mustache::data;
using kainjow::mustache::mustache;

// ---------------------------------------------------------------- what every page holds

// One style for every page, inside it: a page copied on its own still reads.
const char* const kStyle =
    "*{box-sizing:border-box}"
    "body{font-family:Arial,'Liberation Sans',Helvetica,sans-serif;margin:0;color:#111;background:#fff;"
    "line-height:1.4}"
    "header,main{max-width:1200px;margin:0 auto;padding:0 16px}"
    "header{padding-top:8px}"
    "h1{font-size:1.5em;margin:.3em 0}"
    "h2{font-size:1.2em;margin:1.4em 0 .4em;border-bottom:1px solid #bbb}"
    "h3{font-size:1em;margin:1em 0 .3em}"
    "a{color:#0645ad}"
    ".plots{display:grid;grid-template-columns:1fr 1fr;gap:12px}"
    "figure{margin:0;min-width:0}"
    "svg{display:block;width:100%;height:auto}"
    ".wide{overflow-x:auto;max-width:100%}"
    "table{border-collapse:collapse;width:100%}"
    "th,td{padding:4px 8px;border-bottom:1px solid #ddd;text-align:left;vertical-align:top;"
    "overflow-wrap:break-word}"
    // The changes keep a row a line or two high: on a phone their table scrolls in its box.
    "table.changes{min-width:640px}"
    "th{background:#eee}"
    ".n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}"
    ".left{color:#005ac8}.right{color:#d21e1e}"
    ".real{font-weight:bold}"
    ".muted{color:#555}"
    "ul.lines{padding-left:1.2em}"
    ".profile figure{max-width:800px}"
    "#find{width:100%;max-width:360px;font-size:1em;padding:6px;margin:8px 0}"
    "#athletes td:first-child{overflow-wrap:anywhere}"
    "@media (max-width:599px){.plots{grid-template-columns:1fr}th,td{padding:3px 4px}"
    "#athletes th:first-child{width:30%}"
    "body{font-size:15px}header,main{padding:0 8px}}"
    "@media print{nav,#find{display:none}body{font-size:10pt}header,main{max-width:none;padding:0}"
    "h2,h3{break-after:avoid}figure,tr{break-inside:avoid}.wide{overflow:visible}"
    ".plots{grid-template-columns:1fr 1fr}}";

// The athletes page's search: it shows itself, so without script the whole table stays.
const char* const kSearchScript =
    "(function(){var f=document.getElementById('find');if(!f)return;"
    "var rows=document.querySelectorAll('#athletes tbody tr');"
    "function fold(s){return s.normalize('NFD').replace(/[\\u0300-\\u036f]/g,'').toLowerCase()"
    ".replace(/\\s+/g,' ').trim();}"
    "f.hidden=false;f.addEventListener('input',function(){var q=fold(f.value);"
    "for(var i=0;i<rows.length;i++){rows[i].hidden=q!==''&&rows[i].getAttribute('data-name').indexOf(q)<0;}});})();";

const char* const kLayout =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"{{csp}}\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<meta name=\"referrer\" content=\"no-referrer\">\n"
    "<title>{{title}}</title>\n<style>{{{style}}}</style>\n</head>\n<body>\n{{{content}}}\n"
    "{{#script}}<script>{{{script}}}</script>\n{{/script}}</body>\n</html>\n";

const char* const kAthletesTemplate =
    "<header><h1>Athletes</h1><p class=\"muted\">{{count}} {{athletesWord}} in {{source}}</p></header>\n<main>\n"
    "<input id=\"find\" type=\"search\" placeholder=\"Find an athlete\" aria-label=\"Find an athlete\" hidden>\n"
    "<div class=\"wide\"><table id=\"athletes\">\n<thead><tr>"
    "<th>{{#byName}}Name &#9650;{{/byName}}{{^byName}}<a href=\"index.html\">Name</a>{{/byName}}</th>"
    "<th class=\"n\">Tests</th>"
    "<th>{{#byName}}<a href=\"latest.html\">Last test</a>{{/byName}}{{^byName}}Last test &#9660;{{/byName}}</th>"
    "<th>Latest change per side and load</th></tr></thead>\n<tbody>\n"
    "{{#rows}}<tr data-name=\"{{folded}}\" data-key=\"{{key}}\" data-tests=\"{{tests}}\">"
    "<td>{{#linked}}<a href=\"athletes/{{key}}.html\">{{name}}</a>{{/linked}}{{^linked}}{{name}}{{/linked}}</td>"
    "<td class=\"n\">{{tests}}</td><td>{{last}}</td>"
    "<td>{{#changes}}<div class=\"{{side}}{{#real}} real{{/real}}\">{{side}} {{text}}</div>{{/changes}}</td></tr>\n{{/rows}}"
    "</tbody></table></div>\n"
    "<p class=\"muted\">A change is real when it is larger than the test's own error (MDC95 of her repeated "
    "attempts); smaller changes lie within it.</p>\n</main>";

const char* const kAthleteTemplate =
    "<header><nav><a href=\"../index.html\">All athletes</a></nav><h1>{{name}}</h1>"
    "<p class=\"muted\">{{summary}}</p></header>\n<main>\n"
    "<section id=\"history\"><h2>History</h2>\n"
    "{{#errors}}<p class=\"{{side}}\" data-side=\"{{side}}\" data-load=\"{{load}}\" data-sem=\"{{sem}}\" data-mdc95=\"{{mdc95}}\">{{text}}</p>\n{{/errors}}"
    "{{#loads}}<h3>{{title}}</h3>\n<div class=\"plots\">{{#figures}}<figure>{{{svg}}}</figure>{{/figures}}</div>\n{{/loads}}"
    "{{#leftOut}}<p class=\"muted\">{{leftOut}}</p>\n{{/leftOut}}</section>\n"
    "<section id=\"changes\"><h2>Changes of the mean peak power</h2>\n"
    "{{#hasChanges}}<div class=\"wide\"><table class=\"changes\">\n<thead><tr><th>Side</th><th class=\"n\">Load kg</th><th>Tests</th>"
    "<th class=\"n\">Change W</th><th class=\"n\">Change %</th><th>Judgement</th></tr></thead>\n<tbody>\n"
    "{{#changes}}<tr class=\"{{side}}{{#real}} real{{/real}}\" data-side=\"{{side}}\" data-load=\"{{load}}\" "
    "data-from=\"{{from}}\" data-to=\"{{to}}\" data-watts=\"{{watts}}\" data-percent=\"{{percent}}\" "
    "data-beyond=\"{{beyond}}\" data-kind=\"{{kind}}\"><td>{{side}}</td><td class=\"n\">{{loadText}}</td>"
    "<td>{{between}}</td><td class=\"n\">{{wattsText}}</td><td class=\"n\">{{percentText}}</td>"
    "<td>{{judgement}}</td></tr>\n{{/changes}}</tbody></table></div>\n{{/hasChanges}}"
    "{{^hasChanges}}<p>none: no side and load tested twice</p>\n{{/hasChanges}}</section>\n"
    "<section id=\"profile\"><h2>Load-power profile</h2>\n"
    "{{#profiles}}<div class=\"profile\" id=\"{{id}}\" data-from=\"{{from}}\" data-to=\"{{to}}\" "
    "data-tests=\"{{tests}}\"{{#sides}} data-{{side}}-top-load=\"{{topLoad}}\" data-{{side}}-top-power=\"{{topPower}}\" "
    "data-{{side}}-torque-top-power=\"{{torqueTop}}\"{{/sides}}>"
    "<h3>{{title}}</h3>\n<figure>{{{svg}}}</figure>\n<ul class=\"lines\">"
    "{{#fits}}<li>{{.}}</li>{{/fits}}"
    "{{#asymmetry}}<li class=\"asymmetry\" data-load=\"{{load}}\" data-stronger=\"{{stronger}}\" "
    "data-percent=\"{{percent}}\">{{text}}</li>{{/asymmetry}}"
    "{{#note}}<li class=\"muted\">{{note}}</li>{{/note}}</ul></div>\n{{/profiles}}</section>\n"
    "<section id=\"tests\"><h2>Tests</h2>\n<div class=\"wide\"><table>\n<thead><tr><th>Date and time</th>"
    "<th>Station</th><th>Loads kg</th><th>Sides</th><th class=\"n\">Best W</th></tr></thead>\n<tbody>\n"
    "{{#tests}}<tr data-time=\"{{time}}\" data-best=\"{{best}}\"><td>{{date}}</td><td>{{station}}</td>"
    "<td>{{loads}}</td><td>{{sides}}</td><td class=\"n\">{{bestText}}</td></tr>\n{{/tests}}"
    "</tbody></table></div>\n</section>\n</main>";

std::string base64(const std::string& bytes) {
    static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t(uint8_t(bytes[i])) << 16) |
                           (i + 1 < bytes.size() ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0) |
                           (i + 2 < bytes.size() ? uint32_t(uint8_t(bytes[i + 2])) : 0);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

// The CSP source of an inline style or script: 'sha256-<base64 of its digest>'.
std::string hashSource(const std::string& text) {
    const std::string hex = archive::sha256Hex(text);
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return "'sha256-" + base64(bytes) + "'";
}

// Nothing from anywhere: the page's own style, and on the athletes page its own script,
// allowed by their digests; no image, font, frame, connection or form target.
std::string policy(bool withScript) {
    return "default-src 'none'; style-src " + hashSource(kStyle) +
           "; script-src " + (withScript ? hashSource(kSearchScript) : std::string("'none'")) +
           "; img-src 'none'; base-uri 'none'; form-action 'none'";
}

std::string render(const char* tmpl, const data& d) {
    mustache m{std::string(tmpl)};
    return m.render(d);
}

std::string page(const std::string& title, const std::string& content, bool withScript) {
    data d;
    d.set("csp", policy(withScript));
    d.set("title", title);
    d.set("style", std::string(kStyle));
    d.set("content", content);
    if (withScript) d.set("script", std::string(kSearchScript));
    return render(kLayout, d);
}

// ---------------------------------------------------------------- numbers and texts

// Full double precision, as history --json and profile --json give them; "" for none.
std::string exact(double v) {
    if (!std::isfinite(v)) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}
std::string exact(const std::optional<double>& v) { return v ? exact(*v) : std::string(); }

std::string fixed(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string localText(int64_t t, const char* pattern) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return "?";
    char text[40];
    std::strftime(text, sizeof text, pattern, &tm);
    return text;
}

bool sameLoad(double a, double b) { return std::fabs(a - b) <= kSameLoadKg; }

// The judgement's words up to its reason: "a real change", "within the test's own error".
std::string shortJudgement(const History& h, const HistoryChange& c) {
    std::string j = judgement(h, c);
    if (const size_t colon = j.find(':'); colon != std::string::npos) j.erase(colon);
    return j;
}

std::vector<double> sideLoads(const History& h, Side side) {
    std::vector<double> loads;
    for (const HistoryTest& t : h.tests)
        for (const HistoryLoad& l : t.side(side)) loads.push_back(l.load);
    return distinctLoads(std::move(loads));
}

// ---------------------------------------------------------------- the plots

// The History screen's layout at this width: the heading, then the two sides' plots each
// in its half; what lies below them (the texts the page shows as HTML) is outside the views.
constexpr int kHistoryWidth = 960;
constexpr int kRow = 17;  // a row of text on screen (PlotMetrics)
constexpr int kHistoryHeading = kRow * 3 / 2;
constexpr int kHistoryPlots = 315;
// drawHistory gives the plots 45 % of the area below two rows.
constexpr int kHistoryArea = 2 * kRow + kHistoryPlots * 100 / 45;

std::string historyPlot(const History& h, double load, Side side, const std::string& id) {
    const int half = kHistoryWidth / 2;
    const Rect view = side == Side::Left ? Rect{0, kHistoryHeading, half - 1, kHistoryHeading + kHistoryPlots - 1}
                                         : Rect{half, kHistoryHeading, kHistoryWidth, kHistoryHeading + kHistoryPlots - 1};
    SvgDrawContext dc(view, id);
    // The plots ring the real changes; the other changes are lines below the plots, which
    // the picture leaves out: not laid out at all (a history of hundreds of tests).
    History shown = h;
    std::erase_if(shown.changes, [&](const HistoryChange& c) {
        return c.side != side || !sameLoad(c.load, load) || c.firstToLatest || !c.beyondError.value_or(false);
    });
    drawHistory(dc, Rect{0, 0, kHistoryWidth, kHistoryArea}, shown, load);
    return dc.svg(std::string(sideName(side)) + " side at " + loadText(load) + " kg: mean peak power of each test");
}

// The Profile screen's drawing at this width, its plots only: the table and lines below
// them are on the page as HTML.
constexpr int kProfileWidth = 640;  // readable on a phone, not too large on a laptop
constexpr int kProfilePlot = 320;

std::string profilePlot(const Profile& p, const std::string& id) {
    // drawProfile keeps (lines + 2) rows for the table and its lines and four more; the
    // plots take the rest, the table's titles start two rows below them.
    const size_t rows = profileTableRows(p, true).size();
    const std::string note = profileNote(p);
    const int lines = static_cast<int>(rows + 1 + profileFitLines(p).size() + profileAsymmetryLines(p).size() +
                                       (note.empty() ? 0 : 1));
    const int area = (lines + 1) * kRow + 4 * kRow + kProfilePlot;
    SvgDrawContext dc(Rect{0, 0, kProfileWidth, kProfilePlot + 2 * kRow - 1}, id);
    drawProfile(dc, Rect{0, 0, kProfileWidth, area}, p);
    return dc.svg("load-power profile: best peak power of each side against load, and torque against velocity");
}

data profileData(const Profile& p, const std::string& id, const std::string& title, int64_t from, int64_t to, int tests) {
    data d;
    d.set("id", id);
    d.set("title", title);
    d.set("from", std::to_string(from));
    d.set("to", std::to_string(to));
    d.set("tests", std::to_string(tests));
    d.set("svg", profilePlot(p, id));
    data sides{data::type::list};
    for (Side s : {Side::Left, Side::Right}) {
        const SideProfile& sp = p.side(s);
        data side;
        side.set("side", std::string(sideName(s)));
        side.set("topLoad", sp.powerLoad ? exact(sp.powerLoad->topLoad) : std::string());
        side.set("topPower", sp.powerLoad ? exact(sp.powerLoad->topPower) : std::string());
        side.set("torqueTop", sp.torqueVelocity ? exact(sp.torqueVelocity->topPower) : std::string());
        sides.push_back(side);
    }
    d.set("sides", sides);
    data fits{data::type::list};
    for (const std::string& line : profileFitLines(p)) fits.push_back(data(line));
    d.set("fits", fits);
    data asymmetry{data::type::list};
    const std::vector<std::string> lines = profileAsymmetryLines(p);
    // One line per asymmetry when both sides were tested; else the one line saying why not.
    for (size_t i = 0; i < lines.size(); ++i) {
        data a;
        a.set("text", lines[i]);
        if (lines.size() == p.asymmetry.size()) {
            const Asymmetry& as = p.asymmetry[i];
            a.set("load", as.load ? exact(*as.load) : std::string("best"));
            a.set("stronger", as.stronger ? std::string(sideName(*as.stronger)) : std::string());
            a.set("percent", exact(as.percent));
        }
        asymmetry.push_back(a);
    }
    d.set("asymmetry", asymmetry);
    if (const std::string note = profileNote(p); !note.empty()) d.set("note", note);
    return d;
}

}  // namespace

const std::string& pageDesignDigest() {
    static const std::string digest = archive::sha256Hex(std::string(kStyle) + kSearchScript + kLayout +
                                                         kAthletesTemplate + kAthleteTemplate + "svg 1");
    return digest;
}

AthleteRow athleteRow(const AthleteData& a) {
    AthleteRow row;
    row.key = a.key;
    row.name = a.name;
    row.foldedName = foldedName(a.name);
    row.tests = static_cast<int>(a.tests.size());
    for (const archive::IndexedTest& t : a.tests) row.lastTest = std::max(row.lastTest, t.testTime);
    const History& h = a.history;
    for (Side s : {Side::Left, Side::Right})
        for (double load : sideLoads(h, s)) {
            // The changes come in time order per side and load: the last consecutive one.
            const HistoryChange* latest = nullptr;
            for (const HistoryChange& c : h.changes)
                if (c.side == s && !c.firstToLatest && sameLoad(c.load, load)) latest = &c;
            if (!latest) continue;
            row.changes[static_cast<int>(s)].push_back(
                {loadText(load) + " kg: " + fixed("%+.1f", latest->watts) + " W, " + shortJudgement(h, *latest),
                 latest->beyondError.value_or(false)});
        }
    return row;
}

std::string athletePage(const AthleteData& a) {
    const History& h = a.history;
    data d;
    d.set("name", a.name);
    std::string summary = std::to_string(a.tests.size()) + (a.tests.size() == 1 ? " test" : " tests");
    if (!a.tests.empty()) {
        const std::string from = historyDate(a.tests.front().testTime), to = historyDate(a.tests.back().testTime);
        summary += from == to ? ", " + from : ", " + from + " to " + to;
    }
    if (!a.id.empty()) summary += ". Id " + a.id;
    d.set("summary", summary);

    // Each side and load with its own error, as the station's History gives it.
    data errors{data::type::list};
    const std::vector<std::string> errorLines = historyErrorLines(h);
    for (size_t i = 0; i < h.errors.size() && i < errorLines.size(); ++i) {
        data e;
        e.set("side", std::string(sideName(h.errors[i].side)));
        e.set("load", exact(h.errors[i].load));
        e.set("sem", exact(h.errors[i].sem));
        e.set("mdc95", exact(h.errors[i].mdc95));
        e.set("text", errorLines[i]);
        errors.push_back(e);
    }
    d.set("errors", errors);

    // A plot per load, each side beside the other where she was tested on it.
    std::vector<double> all = sideLoads(h, Side::Left);
    for (double l : sideLoads(h, Side::Right)) all.push_back(l);
    all = distinctLoads(std::move(all));
    data loads{data::type::list};
    int picture = 0;
    for (double load : all) {
        data l;
        l.set("title", "At " + loadText(load) + " kg");
        data figures{data::type::list};
        for (Side s : {Side::Left, Side::Right}) {
            const std::vector<double> here = sideLoads(h, s);
            if (std::none_of(here.begin(), here.end(), [&](double x) { return sameLoad(x, load); })) continue;
            data f;
            f.set("svg", historyPlot(h, load, s, "h" + std::to_string(++picture)));
            figures.push_back(f);
        }
        l.set("figures", figures);
        loads.push_back(l);
    }
    d.set("loads", loads);
    if (h.leftOut > 0)
        d.set("leftOut", std::to_string(h.leftOut) + " repetition(s) left out: no peak, no side, or a load of 0 or below.");

    const std::vector<std::string> dates = historyTestDates(h);
    data changes{data::type::list};
    for (const HistoryChange& c : h.changes) {
        data r;
        r.set("side", std::string(sideName(c.side)));
        r.set("load", exact(c.load));
        r.set("loadText", loadText(c.load));
        r.set("from", std::to_string(h.tests[c.from].testTime));
        r.set("to", std::to_string(h.tests[c.to].testTime));
        r.set("watts", exact(c.watts));
        r.set("percent", exact(c.percent));
        r.set("wattsText", fixed("%+.1f", c.watts));
        r.set("percentText", fixed("%+.1f", c.percent));
        r.set("beyond", c.beyondError ? (*c.beyondError ? "true" : "false") : "");
        r.set("kind", c.firstToLatest ? "firstToLatest" : "consecutive");
        r.set("between", (c.firstToLatest ? "first to latest: " : "") + dates[c.from] + " to " + dates[c.to]);
        r.set("judgement", judgement(h, c));
        if (c.beyondError.value_or(false)) r.set("real", true);
        changes.push_back(r);
    }
    if (!h.changes.empty()) d.set("hasChanges", true);
    d.set("changes", changes);

    data profiles{data::type::list};
    if (!a.tests.empty()) {
        const std::string day = historyDate(a.latestDayStart);
        profiles.push_back(profileData(a.latestDay, "latest-day", "Latest test day: " + day + " (" +
                                       std::to_string(a.latestDayTests) + (a.latestDayTests == 1 ? " test)" : " tests)"),
                                       a.latestDayStart, a.latestDayEnd, a.latestDayTests));
        profiles.push_back(profileData(a.last30Days, "last-30-days",
                                       "Last 30 days: " + historyDate(a.last30Start) + " to " + day + " (" +
                                           std::to_string(a.last30Tests) + (a.last30Tests == 1 ? " test)" : " tests)"),
                                       a.last30Start, a.latestDayEnd, a.last30Tests));
    }
    d.set("profiles", profiles);

    // Her tests, newest first, with what the history took of each.
    std::map<std::pair<int64_t, std::string>, const HistoryTest*> taken;
    for (const HistoryTest& t : h.tests) taken[{t.testTime, t.file}] = &t;
    data tests{data::type::list};
    for (auto it = a.tests.rbegin(); it != a.tests.rend(); ++it) {
        data r;
        r.set("time", std::to_string(it->testTime));
        r.set("date", localText(it->testTime, "%Y-%m-%d %H:%M"));
        r.set("station", it->station.empty() ? std::string("this station") : it->station);
        std::string loadsText, sidesText, best, bestText;
        if (auto found = taken.find({it->testTime, it->path}); found != taken.end()) {
            const HistoryTest& t = *found->second;
            std::vector<double> ls;
            double top = -1.0;
            for (Side s : {Side::Left, Side::Right})
                for (const HistoryLoad& l : t.side(s)) {
                    ls.push_back(l.load);
                    top = std::max(top, l.bestPeakPower);
                }
            for (double l : distinctLoads(std::move(ls))) loadsText += (loadsText.empty() ? "" : ", ") + loadText(l);
            const bool left = !t.side(Side::Left).empty(), right = !t.side(Side::Right).empty();
            sidesText = left && right ? "left and right" : left ? "left" : right ? "right" : "";
            if (top >= 0.0) {
                best = exact(top);
                bestText = fixed("%.1f", top);
            }
        }
        r.set("loads", loadsText);
        r.set("sides", sidesText);
        r.set("best", best);
        r.set("bestText", bestText);
        tests.push_back(r);
    }
    d.set("tests", tests);
    return page(a.name + ": tests", render(kAthleteTemplate, d), false);
}

std::string athletesPage(std::vector<AthleteRow> rows, AthleteOrder order, const std::string& source) {
    if (order == AthleteOrder::Name)
        std::stable_sort(rows.begin(), rows.end(), [](const AthleteRow& a, const AthleteRow& b) {
            return a.foldedName != b.foldedName ? a.foldedName < b.foldedName : a.key < b.key;
        });
    else
        std::stable_sort(rows.begin(), rows.end(), [](const AthleteRow& a, const AthleteRow& b) {
            return a.lastTest != b.lastTest ? a.lastTest > b.lastTest : a.foldedName < b.foldedName;
        });
    data d;
    d.set("count", std::to_string(rows.size()));
    d.set("athletesWord", rows.size() == 1 ? "athlete" : "athletes");
    d.set("source", source);
    if (order == AthleteOrder::Name) d.set("byName", true);
    data list{data::type::list};
    for (const AthleteRow& r : rows) {
        data row;
        row.set("key", r.key);
        row.set("name", r.name);
        row.set("folded", r.foldedName);
        row.set("tests", std::to_string(r.tests));
        row.set("last", r.lastTest ? localText(r.lastTest, "%Y-%m-%d %H:%M") : std::string("none"));
        if (r.tests > 0) row.set("linked", true);
        data changes{data::type::list};
        for (Side s : {Side::Left, Side::Right})
            for (const AthleteRow::Change& c : r.changes[static_cast<int>(s)]) {
                data one;
                one.set("side", std::string(sideName(s)));
                one.set("text", c.text);
                if (c.real) one.set("real", true);
                changes.push_back(one);
            }
        row.set("changes", changes);
        list.push_back(row);
    }
    d.set("rows", list);
    return page("Athletes", render(kAthletesTemplate, d), true);
}

}  // namespace vanta::site
