// Whole-file INI reader: sections and keys are case-insensitive, ';' and '#'
// start comment lines, and values are trimmed.
#pragma once

#include <map>
#include <string>

class IniDocument {
public:
    // Reads the file; false when it cannot be opened (the document stays empty).
    bool Load(const std::string& path);
    // The raw value, or null when the key is absent.
    const std::string* Find(const std::string& section, const std::string& key) const;
    // The value as a number (decimal, 0x hex, or leading '-'); false when absent or not a whole number.
    bool FindNumber(const std::string& section, const std::string& key, long long& value) const;
    // All keys of a section (lower-case), or null.
    const std::map<std::string, std::string>* Section(const std::string& section) const;

    static std::string Lower(std::string text);
    static bool ParseNumber(const std::string& text, long long& value);

private:
    std::map<std::string, std::map<std::string, std::string>> m_sections;
};
