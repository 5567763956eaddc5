#include "logging/ControlEscaping.h"

#include <string>

#include "logging/TextConversion.h"

#include <gtest/gtest.h>

using namespace OrvText;

TEST(ControlEscapingTest, ControlCharactersAndUndecodableBytesBecomeHexEscapes)
{
    const struct {
        std::wstring text;
        std::wstring shown;
    } cases[] = {
        {L"", L""},
        {L"CSC1 Cz", L"CSC1 Cz"},
        // OSC 52: sets the terminal's clipboard when printed raw
        {L"\x1b]52;c;SGVsbG8=\x07", L"\\x1b]52;c;SGVsbG8=\\x07"},
        {std::wstring(L"a\0b", 3), L"a\\x00b"},
        {L"\x1f \x20 \x7e \x7f", L"\\x1f \x20 \x7e \\x7f"},
        // C1: CSI (U+009B) starts a sequence on terminals that take 8-bit controls
        {L"\x80|\x9b|\x9f|\xa0|\xe9|\xff", L"\\x80|\\x9b|\\x9f|\xa0|\xe9|\xff"},
        {L"tab\there\r\n", L"tab\\x09here\\x0d\\x0a"},
        // bytes of a name that is not UTF-8 show their value, C1 or not
        {L"caf\xdce9|\xdc9b|\xdc80|\xdcff", L"caf\\xe9|\\x9b|\\x80|\\xff"},
        // a backslash stays: Windows paths and existing escapes read as they are
        {L"C:\\data\\x1b", L"C:\\data\\x1b"},
        {L"\u20ac \U0001F600 \xdc7f \xdd00", L"\u20ac \U0001F600 \xdc7f \xdd00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeControls(c.text), c.shown) << WideToUtf8(c.shown);
        EXPECT_EQ(EscapeControls(EscapeControls(c.text)), c.shown) << "escaped twice: " << WideToUtf8(c.shown);
    }
}

TEST(ControlEscapingTest, Utf8TextIsEscapedLikeWideTextAndInvalidBytesAsBytes)
{
    const struct {
        std::string utf8;
        std::string shown;
    } cases[] = {
        {"plain/dir", "plain/dir"},
        {"rec\x1b]0;title\x07", "rec\\x1b]0;title\\x07"},
        {"\xc2\x9b"
         "2J",
         "\\x9b"
         "2J"},                          // U+009B in UTF-8
        {"caf\xc3\xa9", "caf\xc3\xa9"},  // é in UTF-8 stays
        {"caf\xe9", "caf\\xe9"},         // é in Latin-1: not UTF-8
        {"\x9b"
         "2J",
         "\\x9b"
         "2J"},                               // a raw C1 byte
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},  // an encoded surrogate is not UTF-8
        {"\xe2\x82", "\\xe2\\x82"},           // a sequence cut short
        {"a\x7f\\b", "a\\x7f\\b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeControlsUtf8(c.utf8), c.shown) << c.shown;
        EXPECT_EQ(EscapeControlsUtf8(EscapeControlsUtf8(c.utf8)), c.shown) << "escaped twice: " << c.shown;
    }
}
