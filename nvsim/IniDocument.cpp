#include "nvsim/IniDocument.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {
std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}
} // namespace

std::string IniDocument::Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IniDocument::ParseNumber(const std::string& text, long long& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    value = parsed;
    return true;
}

bool IniDocument::Load(const std::string& path)
{
    m_sections.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::string content;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    std::fclose(file);

    std::string section;
    size_t start = 0;
    while (start < content.size()) {
        size_t stop = content.find('\n', start);
        if (stop == std::string::npos) stop = content.size();
        std::string text = Trim(content.substr(start, stop - start));
        start = stop + 1;
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text[0] == '[') {
            size_t close = text.find(']');
            section = Lower(Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        m_sections[section][Lower(Trim(text.substr(0, equals)))] = Trim(text.substr(equals + 1));
    }
    return true;
}

const std::map<std::string, std::string>* IniDocument::Section(const std::string& section) const
{
    auto found = m_sections.find(Lower(section));
    return found == m_sections.end() ? nullptr : &found->second;
}

const std::string* IniDocument::Find(const std::string& section, const std::string& key) const
{
    const auto* keys = Section(section);
    if (!keys) return nullptr;
    auto found = keys->find(Lower(key));
    return found == keys->end() ? nullptr : &found->second;
}

bool IniDocument::FindNumber(const std::string& section, const std::string& key, long long& value) const
{
    const std::string* text = Find(section, key);
    return text && ParseNumber(*text, value);
}
