#include "reader/HeaderText.h"

#include "logging/TextConversion.h"

namespace Velquor {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

size_t SkipBlanks(std::string_view line, size_t pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    return pos;
}

// One word starting at `pos` (not a blank); `pos` moves past it.
std::string_view TakeWord(std::string_view line, size_t& pos)
{
    if (line[pos] == '"') {
        const size_t close = line.find('"', pos + 1);
        const size_t end = close == std::string_view::npos ? line.size() : close;
        const std::string_view word = line.substr(pos + 1, end - pos - 1);
        pos = close == std::string_view::npos ? line.size() : close + 1;
        return word;
    }
    const size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

std::vector<std::string_view> SplitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t pos = SkipBlanks(line, 0);
    while (pos < line.size()) {
        words.push_back(TakeWord(line, pos));
        pos = SkipBlanks(line, pos);
    }
    return words;
}

void AddValueLine(std::string_view line, HeaderTable& table)
{
    const size_t first = SkipBlanks(line, 0);
    if (first == line.size() || line[first] != '-')
        return;
    const std::vector<std::string_view> words = SplitWords(line);
    HeaderRow row;
    row.reserve(words.size() - 1);
    for (size_t w = 1; w < words.size(); ++w)
        row.push_back(OrvText::Latin1ToWide(words[w]));
    table[OrvText::Latin1ToWide(words[0])].push_back(std::move(row));
}

}  // namespace

HeaderTable ParseHeaderText(std::string_view block)
{
    const std::string_view text = block.substr(0, block.find('\0'));
    HeaderTable table;
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        const size_t lineFeed = text.find('\n', lineStart);
        std::string_view line;
        if (lineFeed == std::string_view::npos) {
            line = text.substr(lineStart);
            lineStart = text.size();
        } else {
            line = text.substr(lineStart, lineFeed - lineStart);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lineStart = lineFeed + 1;
        }
        AddValueLine(line, table);
    }
    return table;
}

}  // namespace Velquor
