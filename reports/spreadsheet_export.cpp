#include "reports/spreadsheet_export.h"

#include <cstdio>
#include <cstring>

#include "reports/page_header.h"
#include "storage/atomic_file.h"

namespace vanta {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 character at text[i]; returns its length, or 0 when the bytes there
// are not a valid, shortest-form character of at most U+10FFFF outside the surrogates.
size_t decodeUtf8(std::string_view text, size_t i, char32_t& c) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    size_t length = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The cell text as the file holds it: white space trimmed (trailing, then leading), and
// the decimal comma of the user's number format turned into the point spreadsheets read.
std::string dataCellText(std::string_view shown) {
    while (!shown.empty() && isWhiteSpace(shown.back())) shown.remove_suffix(1);
    while (!shown.empty() && isWhiteSpace(shown.front())) shown.remove_prefix(1);
    std::string text(shown);
    for (char& c : text)
        if (c == ',') c = '.';
    return text;
}

const char* cellType(std::string_view text, CellKind kind) {
    if (text.empty()) return "String";
    switch (kind) {
        case CellKind::Number: return "Number";
        case CellKind::Auto: return isPlainNumber(text) ? "Number" : "String";
        case CellKind::String: break;
    }
    return "String";
}

}  // namespace

bool isPlainNumber(std::string_view text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.')) return false;
    return true;
}

std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        size_t length = decodeUtf8(text, i, c);
        if (length == 0) {
            c = static_cast<unsigned char>(text[i]);  // ASCII, or a Latin-1 byte of an old file
            length = 1;
        }
        i += length;
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default:
                // XML 1.0 has no way to write these, not even as references.
                if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
                    out += '?';
                else
                    appendUtf8(out, c);
        }
    }
    return out;
}

std::string spreadsheetBytes(const ReportLayout& layout, const std::vector<ReportRow>& cells,
                             const SpreadsheetLabels& labels) {
    char line[64];
    std::string body = "  <ss:Table>\n";
    for (const ReportColumnLayout& column : layout.columns) {
        std::snprintf(line, sizeof line, "      <ss:Column ss:Width=\"%d\"/>\n", column.spreadsheetWidth);
        body += line;
    }

    // The information rows stand inside the table, above the titles; their texts end in
    // CR LF inside the cell, and the template adds a space after each.
    const auto informationRow = [&](std::string_view text) {
        body += "    <ss:Row ss:StyleID=\"1\"><ss:Cell><ss:Data ss:Type=\"String\">";
        body += xmlText(text);
        body += " </ss:Data></ss:Cell></ss:Row>\n";
    };
    informationRow("Name: " + std::string(labels.name) + "\r\n");
    informationRow("Date: " + formatTime(labels.testTime, "%d.%m.%Y") + "  at  " +
                   formatTime(labels.testTime, "%H:%M:%S") + "\r\n");
    informationRow("Repetition No: " + std::to_string(static_cast<long long>(labels.selectedRepetition) + 1) + "\r\n");
    informationRow(" ");

    // Title rows end with four spaces before the closing tag, data rows with two: the
    // station has always written them so.
    for (int titleRow = 0; titleRow < 2; ++titleRow) {
        body += "  <ss:Row>\n";
        for (const ReportColumnLayout& column : layout.columns) {
            body += "      <ss:Cell ss:StyleID=\"2\"><ss:Data ss:Type=\"String\"> ";
            body += xmlText(titleLine(column.title, titleRow));
            body += " </ss:Data></ss:Cell>\n";
        }
        body += "    </ss:Row>\n";
    }

    for (const ReportRow& row : cells) {
        body += "  <ss:Row>\n";
        for (int c = 0; c < layout.columnCount(); ++c) {
            const std::string text = dataCellText(row[static_cast<size_t>(c)]);
            body += "      <ss:Cell><ss:Data ss:Type=\"";
            body += cellType(text, layout.columns[static_cast<size_t>(c)].cellKind);
            body += "\">";
            body += xmlText(text);
            body += "</ss:Data></ss:Cell>\n";
        }
        body += "  </ss:Row>\n";
    }
    body += "    </ss:Table>\n";

    std::string file;
    file.reserve(kSpreadsheetHeader.size() + body.size() + kSpreadsheetFooter.size());
    file += kSpreadsheetHeader;
    file += body;
    file += kSpreadsheetFooter;
    return file;
}

std::string spreadsheetPath(const std::string& dataDirectory) {
    return dataDirectory + "/" + std::string(kSpreadsheetFileName);
}

std::string exportFailedMessage(const std::string& path) { return "Export failed: " + path + " could not be written."; }

// The station's one safe writer: a temporary file beside the target, synced and renamed
// over it, so a failed export leaves the earlier file whole.
bool writeSpreadsheetFile(const std::string& path, std::string_view bytes, int* error) {
    return writeFileAtomically(path, bytes, error);
}

std::string exportedMessage(const std::string& path) { return "Exported to " + path; }

bool exportSpreadsheet(const std::vector<ReportRow>& cells, const SpreadsheetLabels& labels,
                       const std::string& dataDirectory, const FileOpener& open, std::string* message,
                       std::string* reason, bool* opened) {
    if (opened) *opened = false;
    const std::string path = spreadsheetPath(dataDirectory);
    int error = 0;
    if (!writeSpreadsheetFile(path, spreadsheetBytes(digitalLayout, cells, labels), &error)) {
        if (message) *message = exportFailedMessage(path);
        if (reason) *reason = std::strerror(error);
        return false;
    }
    const bool started = open && open(path);
    if (opened) *opened = started;
    return true;
}

}  // namespace vanta
