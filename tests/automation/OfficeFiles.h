#pragma once
// Test helpers that open saved Office files back: an entry of the zip
// package, the table of a WordprocessingML document and the cells of a
// workbook's first sheet. Texts come back as Latin-1, like the program's.
#include <map>
#include <stdexcept>
#include <string>
#include <vector>
#include <zip.h>

namespace officefiles {

inline std::string readZipEntry(const std::string& path, const std::string& name) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!z) throw std::runtime_error("not a zip package: " + path);
    zip_stat_t st;
    zip_file_t* f = nullptr;
    std::string data;
    if (zip_stat(z, name.c_str(), 0, &st) == 0 && (f = zip_fopen(z, name.c_str(), 0))) {
        data.resize(st.size);
        zip_int64_t n = zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        if (n != static_cast<zip_int64_t>(st.size)) data.clear();
    } else {
        zip_close(z);
        throw std::runtime_error("no entry " + name + " in " + path);
    }
    zip_close(z);
    return data;
}

inline std::vector<std::string> zipEntries(const std::string& path) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!z) throw std::runtime_error("not a zip package: " + path);
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i)
        names.push_back(zip_get_name(z, i, 0));
    zip_close(z);
    return names;
}

/// XML character data back to Latin-1: entities resolved, UTF-8 decoded
/// (characters above U+00FF become '?').
inline std::string xmlToLatin1(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (c == '&') {
            std::size_t semi = s.find(';', i);
            std::string ent = s.substr(i + 1, semi - i - 1);
            out += ent == "amp"    ? '&'
                   : ent == "lt"   ? '<'
                   : ent == "gt"   ? '>'
                   : ent == "quot" ? '"'
                                   : '\'';
            i = semi;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            unsigned cp = 0;
            int more = (c >= 0xF0) ? 3 : (c >= 0xE0) ? 2 : 1;
            cp = c & (0x3F >> more);
            for (int k = 0; k < more; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(s[++i]) & 0x3F);
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        }
    }
    return out;
}

/// XML character data with its entities resolved, left in UTF-8.
inline std::string xmlToUtf8(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        std::size_t semi = s.find(';', i);
        std::string ent = s.substr(i + 1, semi - i - 1);
        out += ent == "amp"    ? "&"
               : ent == "lt"   ? "<"
               : ent == "gt"   ? ">"
               : ent == "quot" ? "\""
                               : "'";
        i = semi;
    }
    return out;
}

/// The text between the first `open` tag (matched as a prefix, attributes
/// allowed) at or after `from` and its closing tag; npos-safe.
inline std::vector<std::string> elements(const std::string& xml, const std::string& tag) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    const std::string open = "<" + tag, close = "</" + tag + ">";
    while ((pos = xml.find(open, pos)) != std::string::npos) {
        char next = xml[pos + open.size()];
        if (next != '>' && next != ' ' && next != '/') {
            pos += open.size();
            continue;
        }
        std::size_t gt = xml.find('>', pos);
        if (xml[gt - 1] == '/') { // empty element
            out.push_back(xml.substr(pos, gt + 1 - pos));
            pos = gt + 1;
            continue;
        }
        std::size_t end = xml.find(close, gt);
        out.push_back(xml.substr(pos, end + close.size() - pos));
        pos = end + close.size();
    }
    return out;
}

inline std::string attribute(const std::string& element, const std::string& name) {
    std::size_t gt = element.find('>');
    std::size_t p = element.find(" " + name + "=\"");
    if (p == std::string::npos || p > gt) return {};
    p += name.size() + 3;
    return element.substr(p, element.find('"', p) - p);
}

struct WordCell {
    std::string text;
    bool bold = false;
};

struct WordDocument {
    bool landscape = false;
    std::string pageWidth, pageHeight;
    int tables = 0;
    bool borders = false;
    std::vector<bool> headerRow; ///< per row: marked as a repeated heading row
    std::vector<std::vector<WordCell>> rows;
};

/// `utf8`: texts come back in UTF-8 instead.
inline WordDocument readWord(const std::string& path, bool utf8 = false) {
    auto text = utf8 ? xmlToUtf8 : xmlToLatin1;
    std::string xml = readZipEntry(path, "word/document.xml");
    WordDocument d;
    auto pg = elements(xml, "w:pgSz");
    if (!pg.empty()) {
        d.landscape = attribute(pg[0], "w:orient") == "landscape";
        d.pageWidth = attribute(pg[0], "w:w");
        d.pageHeight = attribute(pg[0], "w:h");
    }
    auto tbls = elements(xml, "w:tbl");
    d.tables = static_cast<int>(tbls.size());
    if (tbls.empty()) return d;
    d.borders = tbls[0].find("<w:tblBorders>") != std::string::npos &&
                tbls[0].find("w:val=\"single\"") != std::string::npos;
    for (const std::string& tr : elements(tbls[0], "w:tr")) {
        d.headerRow.push_back(tr.find("<w:tblHeader/>") != std::string::npos);
        std::vector<WordCell> row;
        for (const std::string& tc : elements(tr, "w:tc")) {
            WordCell c;
            c.bold = tc.find("<w:b/>") != std::string::npos;
            // Walk text, breaks and tabs in document order.
            for (std::size_t p = 0; (p = tc.find('<', p)) != std::string::npos; ++p) {
                if (tc.compare(p, 5, "<w:t>") == 0 || tc.compare(p, 5, "<w:t ") == 0) {
                    std::size_t gt = tc.find('>', p), end = tc.find("</w:t>", gt);
                    c.text += text(tc.substr(gt + 1, end - gt - 1));
                    p = end;
                } else if (tc.compare(p, 7, "<w:br/>") == 0) {
                    c.text += '\n';
                } else if (tc.compare(p, 8, "<w:tab/>") == 0) {
                    c.text += '\t';
                }
            }
            row.push_back(c);
        }
        d.rows.push_back(row);
    }
    return d;
}

struct SheetCell {
    std::string type;   ///< "s" shared/inline string, "n" number, "b" boolean
    std::string value;  ///< Latin-1 text, or the number / 0/1 as written
    std::string format; ///< the cell's number format code, "" for General
    friend bool operator==(const SheetCell&, const SheetCell&) = default;
};

/// Cells of sheet `sheetNo` (the first by default) by reference ("A1",
/// "C12"); `utf8`: texts in UTF-8 instead.
inline std::map<std::string, SheetCell> readSheet(const std::string& path, bool utf8 = false,
                                                  int sheetNo = 1) {
    auto text = utf8 ? xmlToUtf8 : xmlToLatin1;
    std::string sheet =
        readZipEntry(path, "xl/worksheets/sheet" + std::to_string(sheetNo) + ".xml");
    std::string styles = readZipEntry(path, "xl/styles.xml");
    std::vector<std::string> shared;
    try {
        for (const std::string& si : elements(readZipEntry(path, "xl/sharedStrings.xml"), "si")) {
            std::string t = elements(si, "t").at(0);
            shared.push_back(text(t.substr(t.find('>') + 1, t.rfind("</t>") - t.find('>') - 1)));
        }
    } catch (const std::runtime_error&) {
    }
    std::map<std::string, std::string> numFmts;
    for (const std::string& nf : elements(styles, "numFmt"))
        numFmts[attribute(nf, "numFmtId")] = xmlToLatin1(attribute(nf, "formatCode"));
    std::vector<std::string> xfFormats;
    auto cellXfs = elements(styles, "cellXfs");
    if (!cellXfs.empty())
        for (const std::string& xf : elements(cellXfs[0], "xf")) {
            std::string id = attribute(xf, "numFmtId");
            xfFormats.push_back(numFmts.count(id) ? numFmts[id] : id == "0" ? "" : "builtin:" + id);
        }
    std::map<std::string, SheetCell> cells;
    for (const std::string& c : elements(sheet, "c")) {
        SheetCell cell;
        std::string t = attribute(c, "t");
        std::string s = attribute(c, "s");
        if (!s.empty() && std::stoul(s) < xfFormats.size()) cell.format = xfFormats[std::stoul(s)];
        auto inner = [](const std::string& el) {
            return el.substr(el.find('>') + 1, el.rfind("</") - el.find('>') - 1);
        };
        if (t == "inlineStr") {
            cell.type = "s";
            cell.value = text(inner(elements(c, "t").at(0)));
        } else if (t == "s") {
            cell.type = "s";
            cell.value = shared.at(std::stoul(inner(elements(c, "v").at(0))));
        } else if (t == "str") {
            cell.type = "s";
            cell.value = text(inner(elements(c, "v").at(0)));
        } else {
            cell.type = t.empty() ? "n" : t;
            auto v = elements(c, "v");
            if (v.empty()) continue; // a styled blank
            cell.value = inner(v[0]);
        }
        cells[attribute(c, "r")] = cell;
    }
    return cells;
}

} // namespace officefiles
