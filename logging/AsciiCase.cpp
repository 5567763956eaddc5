#include "logging/AsciiCase.h"

#include <algorithm>

namespace OrvText {
namespace {

template <typename Char> Char FoldToUpper(Char c)
{
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <typename Char> bool EqualsFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b)
{
    return std::ranges::equal(a, b, [](Char x, Char y) { return FoldToUpper(x) == FoldToUpper(y); });
}

template <typename Char> bool EndsWithFolded(std::basic_string_view<Char> text, std::basic_string_view<Char> suffix)
{
    return text.size() >= suffix.size() && EqualsFolded(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

char FoldAsciiToUpper(char c)
{
    return FoldToUpper(c);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return EqualsFolded(a, b);
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b)
{
    return EqualsFolded(a, b);
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix)
{
    return EndsWithFolded(text, suffix);
}

bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix)
{
    return EndsWithFolded(text, suffix);
}

}  // namespace OrvText
