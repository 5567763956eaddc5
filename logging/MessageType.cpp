#include "logging/MessageType.h"

#include <array>

namespace OrvLogging {
namespace {

struct TypeText {
    const wchar_t* name;
    const wchar_t* tag;
};

constexpr std::array<TypeText, 6> typeTexts{{
    {L"Fatal", L"-*  FATAL  *- "},
    {L"Error", L"-*  ERROR  *- "},
    {L"Warning", L"-* WARNING *- "},
    {L"Notice", L"-* NOTICE  *- "},
    {L"Data", L"-*  DATA   *- "},
    {L"Debug", L"-*  DEBUG  *- "},
}};

bool IsKnown(ORVB_MESSAGE_TYPE type)
{
    return type >= 0 && static_cast<size_t>(type) < typeTexts.size();
}

}  // namespace

std::wstring MessageTypeName(ORVB_MESSAGE_TYPE type)
{
    return IsKnown(type) ? typeTexts[static_cast<size_t>(type)].name : L"Unknown";
}

std::wstring MessageTypeTag(ORVB_MESSAGE_TYPE type)
{
    return IsKnown(type) ? typeTexts[static_cast<size_t>(type)].tag : L"-* UNKNOWN *- ";
}

}  // namespace OrvLogging
