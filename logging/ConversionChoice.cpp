#include "logging/ConversionChoice.h"

std::wstring WithChoiceHint(const std::wstring& text, ConversionChoice choice, const ChoiceHint& hint)
{
    const std::wstring how = hint ? hint(choice) : std::wstring();
    return how.empty() ? text : text + L" (" + how + L")";
}
