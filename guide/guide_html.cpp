// vantacheck-guide-html SOURCE OUT: the technician's guide as HTML. Every page SOURCE/*.md
// becomes OUT/<page>.html through libcmark, a link to another page's .md goes to its .html,
// and SOURCE/pictures is copied to OUT/pictures. A page that links to a page or a picture
// that is not there fails the build: a guide with a hole in it is not shipped.
#include <cmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct NodeFree {
    void operator()(cmark_node* n) const { cmark_node_free(n); }
};
struct IterFree {
    void operator()(cmark_iter* i) const { cmark_iter_free(i); }
};
struct CharFree {
    void operator()(char* p) const { std::free(p); }
};

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isLocal(const std::string& url) {
    return !url.empty() && url.find("://") == std::string::npos && url.rfind("mailto:", 0) != 0 && url[0] != '#';
}

// The page's title: the text of its first heading.
std::string headingText(cmark_node* heading) {
    std::string text;
    std::unique_ptr<cmark_iter, IterFree> it(cmark_iter_new(heading));
    for (cmark_event_type ev; (ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE;) {
        cmark_node* n = cmark_iter_get_node(it.get());
        if (ev == CMARK_EVENT_ENTER &&
            (cmark_node_get_type(n) == CMARK_NODE_TEXT || cmark_node_get_type(n) == CMARK_NODE_CODE))
            text += cmark_node_get_literal(n);
    }
    return text;
}

std::string escapeHtml(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

// Pictures are shown at their own size, up to the page's width; tables get lines, so the
// rows of a button table stay apart when printed.
constexpr const char* kStyle =
    "body{font-family:\"Liberation Sans\",Arial,sans-serif;max-width:52em;margin:1em auto;padding:0 1em;"
    "line-height:1.45;color:#111}"
    "img{max-width:100%;border:1px solid #bbb}"
    "table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:.25em .6em;text-align:left}"
    "code,pre{background:#f3f3f3}pre{padding:.5em;overflow-x:auto}"
    "nav{font-size:.9em;margin-bottom:1em}";

bool convertPage(const fs::path& md, const fs::path& sourceDir, const fs::path& outDir) {
    const std::string text = readWhole(md);
    std::unique_ptr<cmark_node, NodeFree> doc(cmark_parse_document(text.data(), text.size(), CMARK_OPT_DEFAULT));
    if (!doc) {
        std::cerr << md.string() << ": cannot be read as Markdown\n";
        return false;
    }
    bool whole = true;
    std::string title;
    std::unique_ptr<cmark_iter, IterFree> it(cmark_iter_new(doc.get()));
    for (cmark_event_type ev; (ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE;) {
        if (ev != CMARK_EVENT_ENTER) continue;
        cmark_node* n = cmark_iter_get_node(it.get());
        const cmark_node_type type = cmark_node_get_type(n);
        if (type == CMARK_NODE_HEADING && title.empty()) title = headingText(n);
        // CommonMark has no tables: a pipe table would reach the browser as one long
        // paragraph of bars. The guide says such things as lists.
        if (type == CMARK_NODE_PARAGRAPH && cmark_node_first_child(n) &&
            cmark_node_get_type(cmark_node_first_child(n)) == CMARK_NODE_TEXT &&
            std::string_view(cmark_node_get_literal(cmark_node_first_child(n))).starts_with("|")) {
            std::cerr << md.string() << ":" << cmark_node_get_start_line(n)
                      << ": a table, which CommonMark does not have: write it as a list\n";
            whole = false;
        }
        if (type != CMARK_NODE_LINK && type != CMARK_NODE_IMAGE) continue;
        std::string url = cmark_node_get_url(n) ? cmark_node_get_url(n) : "";
        if (!isLocal(url)) continue;
        const std::string target = url.substr(0, url.find('#'));
        if (!fs::is_regular_file(sourceDir / target)) {
            std::cerr << md.string() << ": links to " << target << ", which is not in " << sourceDir.string() << "\n";
            whole = false;
            continue;
        }
        if (type == CMARK_NODE_LINK && fs::path(target).extension() == ".md") {
            url.replace(target.size() - 3, 3, ".html");
            cmark_node_set_url(n, url.c_str());
        }
    }
    if (!whole) return false;

    std::unique_ptr<char, CharFree> body(cmark_render_html(doc.get(), CMARK_OPT_DEFAULT));
    const bool isIndex = md.stem() == "index";
    std::ofstream out(outDir / (md.stem().string() + ".html"), std::ios::binary | std::ios::trunc);
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        << "<title>" << escapeHtml(title) << (isIndex ? "" : " - Vanta Mero guide") << "</title>\n"
        << "<style>" << kStyle << "</style>\n</head>\n<body>\n";
    if (!isIndex) out << "<nav><a href=\"index.html\">The technician's guide</a></nav>\n";
    out << body.get() << "</body>\n</html>\n";
    out.close();
    if (!out) {
        std::cerr << (outDir / (md.stem().string() + ".html")).string() << ": cannot be written\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vantacheck-guide-html SOURCE_DIR OUT_DIR\n";
        return 2;
    }
    const fs::path sourceDir = argv[1];
    const fs::path outDir = argv[2];
    std::error_code error;
    fs::create_directories(outDir / "pictures", error);
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(sourceDir, error))
        if (entry.is_regular_file() && entry.path().extension() == ".md") pages.push_back(entry.path());
    if (error || pages.empty()) {
        std::cerr << sourceDir.string() << ": no guide pages\n";
        return 2;
    }
    std::sort(pages.begin(), pages.end());
    bool ok = true;
    for (const fs::path& page : pages) ok = convertPage(page, sourceDir, outDir) && ok;
    // A picture gone from the guide's folder goes from the build's copy too, so the package
    // holds no picture of a screen that is no more.
    for (const auto& entry : fs::directory_iterator(outDir / "pictures", error))
        if (!fs::exists(sourceDir / "pictures" / entry.path().filename())) fs::remove(entry.path(), error);
    for (const auto& entry : fs::directory_iterator(sourceDir / "pictures", error)) {
        if (entry.path().extension() != ".png") continue;
        fs::copy_file(entry.path(), outDir / "pictures" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, error);
        if (error) {
            std::cerr << entry.path().string() << ": cannot be copied: " << error.message() << "\n";
            ok = false;
        }
    }
    return ok ? 0 : 2;
}
