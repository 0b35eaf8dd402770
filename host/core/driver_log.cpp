#include "core/driver_log.h"

#include <cstdio>
#include <sstream>

bool parse_place(const std::string &entry, LogPlace &place)
{
    int source = 0, column = 0, used = 0;
    long line = 0;
    const char *s = entry.c_str();
    place.text.clear();
    bool mesa = std::sscanf(s, "%d:%ld(%d): %n", &source, &line, &column, &used) == 3 && used > 0;
    if (!mesa) {
        column = 0;
        used = 0;
        if (std::sscanf(s, "%d(%ld) : %n", &source, &line, &used) != 2 || !used) {
            used = 0;
            if (std::sscanf(s, "ERROR: %d:%ld: %n", &source, &line, &used) != 2 || !used) return false;
            place.text = "error: ";
        }
    }
    place.source = source;
    place.line = line;
    place.column = column;
    place.text += s + used;
    return true;
}

namespace {

// The driver's words after "error: " or "warning: ", whatever it calls them.
std::string with_severity(const std::string &text)
{
    for (const char *kind : {"error", "warning"}) {
        std::string head = std::string(kind) + ": ", pre = "preprocessor " + head;
        if (text.compare(0, head.size(), head) == 0) return text;
        if (text.compare(0, pre.size(), pre) == 0) return head + text.substr(pre.size());
        if (text.compare(0, head.size() - 1, std::string(kind) + " ") == 0) return head + text.substr(head.size() - 1);
    }
    return "error: " + text;
}

// Line `number` of `text`; false when it has fewer lines.
bool line_text(const std::string &text, long number, std::string &line)
{
    size_t at = 0;
    for (long n = 1; n < number; ++n) {
        at = text.find('\n', at);
        if (at == std::string::npos) return false;
        ++at;
    }
    if (at > text.size() || (at == text.size() && number > 1)) return false;
    size_t end = text.find('\n', at);
    line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// The driver counts columns after preprocessing, where a comment and each
// run of blanks around it are one blank: the line's own column for that.
int file_column(const std::string &line, int column)
{
    int counted = 0;
    size_t i = 0;
    while (i < line.size()) {
        size_t next = i + 1;
        bool blank = line[i] == ' ' || line[i] == '\t';
        if (blank || line.compare(i, 2, "/*") == 0 || line.compare(i, 2, "//") == 0) {
            for (next = i; next < line.size();) {
                if (line[next] == ' ' || line[next] == '\t') ++next;
                else if (line.compare(next, 2, "//") == 0) next = line.size();
                else if (line.compare(next, 2, "/*") == 0) {
                    size_t close = line.find("*/", next + 2);
                    next = close == std::string::npos ? line.size() : close + 2;
                } else break;
            }
        }
        if (++counted == column) return (int)i + 1;
        i = next;
    }
    return (int)line.size() + 1;
}

} // namespace

std::string located_log(const std::string &log, const LogFile &file)
{
    std::istringstream lines(log);
    std::string entry, out;
    while (std::getline(lines, entry)) {
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        if (entry.empty()) continue;
        if (!out.empty()) out += "\n";
        LogPlace place;
        if (!parse_place(entry, place)) {
            out += entry;
            continue;
        }
        long line = file.line_of ? file.line_of(file.context, place.line) : place.line;
        std::string text;
        if (line <= 0 || (file.text && !line_text(*file.text, line, text))) {
            out += entry;
            continue;
        }
        out += file.name + ":" + std::to_string(line) + ":";
        if (place.column) out += std::to_string(file.text ? file_column(text, place.column) : place.column) + ":";
        out += " " + with_severity(place.text);
    }
    return out;
}
