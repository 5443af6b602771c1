#pragma once
// Test helper: a file's whole content, as bytes; empty when it cannot be read.
#include <cstdio>
#include <string>

inline std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
        std::fclose(file);
    }
    return bytes;
}
