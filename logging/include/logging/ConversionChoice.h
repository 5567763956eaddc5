#pragma once

#include <functional>
#include <string>

// The choices about a conversion that the core's messages may name. The core names a choice in
// its own words; how the user makes it (a command-line option, a menu item) is for the program
// that runs the conversion to say.
enum class ConversionChoice {
    ExactRecordTiming,
    PhysicalDimension,
    Verification,
    LabOutput,
};

// How the user of the running program makes `choice`; empty when it has no words for it.
using ChoiceHint = std::function<std::wstring(ConversionChoice)>;

// `text` naming a choice, followed by how to make it in parentheses when the hint has words for
// it: "exact record timing (--exact-timing)".
std::wstring WithChoiceHint(const std::wstring& text, ConversionChoice choice, const ChoiceHint& hint);
