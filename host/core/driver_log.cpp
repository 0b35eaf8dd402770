#include "core/driver_log.h"

#include <cstdio>

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
