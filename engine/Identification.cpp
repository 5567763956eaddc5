#include "engine/Identification.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "edf/EdfLayout.h"
#include "logging/AsciiCase.h"

namespace {

// The check of one subfield's value; false with the reason in error. May write the value as
// EDF+ has it (a month in capitals).
using ValueCheck = bool (*)(std::string& value, std::string& error);

struct Subfield {
    const char* key;
    ValueCheck check;  // nullptr: any printable text
};

constexpr std::array<const char*, 12> months = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr int earliestBirthYear = 1800;
constexpr int latestBirthYear = 2999;

// The number that `text` writes in decimal digits only; -1 for anything else.
int DigitsValue(std::string_view text)
{
    int value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool digitsOnly = !text.empty() && text.front() != '-' && text.front() != '+';
    return problem == std::errc() && end == text.data() + text.size() && digitsOnly ? value : -1;
}

bool CheckSex(std::string& value, std::string& error)
{
    if (value == "M" || value == "F" || value == "X")
        return true;
    error = "sex is M, F or X, not \"" + value + "\"";
    return false;
}

bool CheckBirthdate(std::string& value, std::string& error)
{
    error = "birthdate is a date written dd-MMM-yyyy, as 02-MAY-1951, not \"" + value + "\"";
    if (value.size() != 11 || value[2] != '-' || value[6] != '-')
        return false;
    std::string month = value.substr(3, 3);
    for (char& c : month)
        c = OrvText::FoldAsciiToUpper(c);
    const auto found = std::find(months.begin(), months.end(), month);
    if (found == months.end())
        return false;
    constexpr int daysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int day = DigitsValue(std::string_view(value).substr(0, 2));
    const int year = DigitsValue(std::string_view(value).substr(7));
    const auto monthIndex = static_cast<std::size_t>(found - months.begin());
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day < 1 || day > daysInMonth[monthIndex] || (monthIndex == 1 && day == 29 && !leap) || year < earliestBirthYear
        || year > latestBirthYear)
        return false;
    value.replace(3, 3, month);
    error.clear();
    return true;
}

constexpr std::array<Subfield, 4> patientSubfields = {
    {{"code", nullptr}, {"sex", CheckSex}, {"birthdate", CheckBirthdate}, {"name", nullptr}}};
constexpr std::array<Subfield, 3> recordingSubfields = {
    {{"admincode", nullptr}, {"technician", nullptr}, {"equipment", nullptr}}};

// Where the subfield that starts at `from` ends: at the next comma that a key and "=" follow.
std::size_t SubfieldEnd(const std::string& text, std::size_t from)
{
    for (std::size_t comma = text.find(',', from); comma != std::string::npos; comma = text.find(',', comma + 1)) {
        std::size_t letters = comma + 1;
        while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters])) != 0)
            ++letters;
        if (letters > comma + 1 && letters < text.size() && text[letters] == '=')
            return comma;
    }
    return text.size();
}

// The value as one EDF+ subfield: printable ASCII, blanks as underscores.
bool MakeWord(const std::string& key, std::string& value, std::string& error)
{
    if (value.empty()) {
        error = key + " is empty (leave it out for X)";
        return false;
    }
    for (char& c : value) {
        if (c < 0x20 || c > 0x7E) {
            error = key + " holds a character that is not printable ASCII";
            return false;
        }
        c = c == ' ' ? '_' : c;
    }
    return true;
}

bool ParseSubfields(const std::string& text, std::span<const Subfield> table, std::size_t room, std::string& subfields,
                    std::string& error)
{
    std::vector<std::string> values(table.size());
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = SubfieldEnd(text, from);
        const std::string part = text.substr(from, end - from);
        const std::size_t equals = part.find('=');
        const std::string key = part.substr(0, equals);
        const auto known = std::find_if(table.begin(), table.end(), [&](const Subfield& s) { return key == s.key; });
        if (equals == std::string::npos || known == table.end()) {
            error = "\"" + part + "\" is not key=value with one of the keys";
            for (const Subfield& s : table)
                error += std::string(&s == table.data() ? " " : ", ") + s.key;
            return false;
        }
        std::string& value = values[static_cast<std::size_t>(known - table.begin())];
        if (!value.empty()) {
            error = key + " is given twice";
            return false;
        }
        value = part.substr(equals + 1);
        if (!MakeWord(key, value, error) || (known->check != nullptr && !known->check(value, error)))
            return false;
        from = end + 1;
    }
    subfields.clear();
    for (const std::string& value : values)
        subfields += (subfields.empty() ? "" : " ") + (value.empty() ? std::string("X") : value);
    if (subfields.size() > room) {
        error = "the subfields \"" + subfields + "\" take " + std::to_string(subfields.size())
                + " characters, and the field holds " + std::to_string(room);
        return false;
    }
    return true;
}

}  // namespace

bool ParsePatientIdentification(const std::string& text, std::string& subfields, std::string& error)
{
    return ParseSubfields(text, patientSubfields, edfMaxPatientLength, subfields, error);
}

bool ParseRecordingIdentification(const std::string& text, std::string& subfields, std::string& error)
{
    return ParseSubfields(text, recordingSubfields, edfMaxRecordingSubfieldsLength, subfields, error);
}
