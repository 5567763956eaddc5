#pragma once

#include <string>
#include <string_view>

// Texts that come from the input or the file system (channel names, session UUIDs, event texts,
// file and directory names, the reader's error texts) are shown with their control characters
// escaped, so that nothing a recording holds reaches a terminal, the log or the window as a
// control sequence.
//
// Escaped as "\x" and two lowercase hex digits: C0 (U+0000 to U+001F), DEL (U+007F), C1 (U+0080
// to U+009F), and every byte of a file name that is not valid UTF-8 (carried as U+DC80 to U+DCFF,
// see TextConversion.h), which becomes the byte's value. A backslash stays as it is: ordinary
// texts (Windows paths among them) keep every character, and escaping an escaped text again
// changes nothing, so a text may pass more than one sink that escapes.
namespace OrvText {

std::wstring EscapeControls(std::wstring_view text);
// The same for UTF-8 text; bytes that are not valid UTF-8 are escaped as bytes.
std::string EscapeControlsUtf8(std::string_view utf8);

}  // namespace OrvText
