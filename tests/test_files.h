#pragma once
// Test helper: a file's whole content, as bytes; empty when it cannot be read.
#include <windows.h>

#include <cstdio>
#include <string>

// A test's own narrow text as the wide text the program's paths are.
inline std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

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
