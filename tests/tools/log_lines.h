// Reading kivo-devsim's JSON log in tests: one object a line, flat enough
// that a field is found by its key.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// One field of a JSON log line; strings come back still escaped.
inline std::string Field(const std::string &line, const char *key)
{
    std::string marker = std::string("\"") + key + "\":";
    size_t at = line.find(marker);
    if (at == std::string::npos)
        return "";
    at += marker.size();
    if (line[at] == '"') {
        size_t end = at + 1;
        while (end < line.size() && line[end] != '"')
            end += line[end] == '\\' ? 2 : 1;
        return line.substr(at + 1, end - at - 1);
    }
    size_t end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

inline std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    FILE *file = fopen(path.c_str(), "r");
    if (!file)
        return lines;
    char buffer[8192];
    while (fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    fclose(file);
    return lines;
}
