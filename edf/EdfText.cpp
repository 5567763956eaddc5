#include "EdfText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "EdfNumbers.h"
#include "edf/EdfFileEngine.h"

namespace {

struct FoldRule {
    char replacement;
    unsigned char first;
    unsigned char last;
};

// Bytes from 0x80 up that have a look-alike; every other byte from 0x80 up becomes a space.
constexpr FoldRule foldRules[] = {
    {'E', 0x80, 0x80}, {'E', 0x8C, 0x8C}, {'E', 0xC6, 0xC6},  {'E', 0xC8, 0xCB},  {'e', 0x9C, 0x9C}, {'e', 0xE6, 0xE6},
    {'e', 0xE8, 0xEB}, {'A', 0xC0, 0xC5}, {'a', 0xE0, 0xE5},  {'C', 0xC7, 0xC7},  {'c', 0xE7, 0xE7}, {'D', 0xD0, 0xD0},
    {'d', 0xF0, 0xF0}, {'I', 0xCC, 0xCF}, {'I', 0xDE, 0xDE},  {'i', 0xEC, 0xEF},  {'N', 0xD1, 0xD1}, {'n', 0xF1, 0xF1},
    {'O', 0xD2, 0xD6}, {'O', 0xD8, 0xD8}, {'o', 0xF2, 0xF6},  {'U', 0xD9, 0xDC},  {'u', 0xB5, 0xB5}, {'u', 0xF9, 0xFC},
    {'Y', 0x9F, 0x9F}, {'Y', 0xDD, 0xDD}, {'y', 0xFD, 0xFD},  {'y', 0xFF, 0xFF},  {'S', 0x8A, 0x8A}, {'s', 0x9A, 0x9A},
    {'s', 0xDF, 0xDF}, {'Z', 0x8E, 0x8E}, {'z', 0x9E, 0x9E},  {'F', 0x83, 0x83},  {'m', 0x89, 0x89}, {'t', 0xFE, 0xFE},
    {'x', 0xD7, 0xD7}, {'0', 0xF8, 0xF8}, {',', 0x82, 0x82},  {'"', 0x84, 0x84},  {'"', 0x93, 0x94}, {'.', 0x85, 0x85},
    {'.', 0x95, 0x95}, {'+', 0x86, 0x87}, {'^', 0x88, 0x88},  {'<', 0x8B, 0x8B},  {'<', 0xAB, 0xAB}, {'>', 0x9B, 0x9B},
    {'>', 0xBB, 0xBB}, {'`', 0x91, 0x91}, {'\'', 0x92, 0x92}, {'\'', 0xB4, 0xB4}, {'-', 0x96, 0x97}, {'-', 0xF7, 0xF7},
    {'~', 0x98, 0x98}, {'?', 0xBF, 0xBF},
};

constexpr std::array<char, 256> MakeFoldTable()
{
    std::array<char, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : ' ';
    for (const FoldRule& rule : foldRules)
        for (int byte = rule.first; byte <= rule.last; ++byte)
            table[byte] = rule.replacement;
    return table;
}

constexpr std::array<char, 256> foldTable = MakeFoldTable();

constexpr char tal20 = 0x14;
constexpr int64_t ticksPerSecond = 10'000'000;  // units of 100 ns

// "+" whole "." and `digits` digits of the fraction, or without the fraction when `withFraction`
// is false.
int WriteFixedPoint(char* out, int64_t value, int64_t unitsPerSecond, int digits, bool withFraction)
{
    int n = 0;
    out[n++] = '+';
    n += WriteDecimal(out + n, value / unitsPerSecond);
    if (withFraction) {
        out[n++] = '.';
        n += WriteDecimal(out + n, value % unitsPerSecond, digits);
    }
    return n;
}

}  // namespace

void FoldToAscii(char* text)
{
    for (; *text != '\0'; ++text)
        *text = foldTable[static_cast<unsigned char>(*text)];
}

bool EdfLabelNamesAnnotations(const char* label)
{
    char written[edfMaxLabelLength + 1] = {};
    std::memcpy(written, label, strnlen(label, edfMaxLabelLength));
    FoldToAscii(written);
    std::string_view text(written);
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    text.remove_suffix(text.size() - std::min(text.find_last_not_of(' ') + 1, text.size()));
    return text == "EDF Annotations";
}

int Latin1ToUtf8(const char* in, int inLength, char* out, int outLimit)
{
    int n = 0;
    for (int i = 0; i < inLength && n < outLimit && in[i] != '\0'; ++i) {
        auto byte = static_cast<unsigned char>(in[i]);
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) {
            out[n++] = '.';
        } else if (byte < 0x7F) {
            out[n++] = static_cast<char>(byte);
        } else if (outLimit - n >= 2) {
            out[n++] = static_cast<char>(0xC0 + (byte >> 6));
            out[n++] = static_cast<char>(0x80 + (byte & 0x3F));
        } else {
            out[n++] = ' ';
        }
    }
    out[n] = '\0';
    return n;
}

int Latin1ToUtf8(char* text, int n)
{
    char converted[edfMaxAnnotationTextBytes + 1];
    const int length = Latin1ToUtf8(text, n, converted, n);
    std::memcpy(text, converted, static_cast<std::size_t>(length) + 1);
    return length;
}

int StoredAnnotationText(const char* latin1, AnnotationTexts texts, char* out)
{
    if (texts == AnnotationTexts::Whole)
        return Latin1ToUtf8(latin1, edfMaxWholeTextInputBytes, out, edfMaxWholeAnnotationTextBytes);
    const auto length = static_cast<int>(strnlen(latin1, edfMaxAnnotationTextBytes));
    return Latin1ToUtf8(latin1, length, out, length);
}

int WriteRecordStartTime(char* out, int64_t record, int64_t recordTicks, int64_t offsetTicks)
{
    // the duration and the offset, not the time, decide whether the text has decimals
    const bool fraction = recordTicks % ticksPerSecond != 0 || offsetTicks % ticksPerSecond != 0;
    return WriteFixedPoint(out, offsetTicks + record * recordTicks, ticksPerSecond, 7, fraction);
}

int WriteOnset(char* out, int64_t onset, int decimals)
{
    int64_t unitsPerSecond = 1;
    for (int d = 0; d < decimals; ++d)
        unitsPerSecond *= 10;
    return WriteFixedPoint(out, onset, unitsPerSecond, decimals, onset % unitsPerSecond != 0);
}

int WriteTimeKeepingTal(char* out, int64_t record, int64_t recordTicks, int64_t offsetTicks)
{
    int n = WriteRecordStartTime(out, record, recordTicks, offsetTicks);
    out[n++] = tal20;
    out[n++] = tal20;
    return n;
}

int WriteAnnotationTal(char* out, const char* text, int64_t onset, int onsetDecimals, int maxTextBytes)
{
    int n = WriteOnset(out, onset, onsetDecimals);
    out[n++] = tal20;
    const auto limit = static_cast<std::size_t>(std::min(maxTextBytes, edfMaxWholeAnnotationTextBytes));
    std::size_t length = strnlen(text, limit);
    if (length == limit && text[length] != '\0')  // cut: never inside a character
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    std::memcpy(out + n, text, length);
    n += static_cast<int>(length);
    out[n++] = tal20;
    return n;
}

void BuildAnnotationSlot(char (&slot)[edfAnnotationSlotBytes], int64_t record, int64_t recordTicks, const char* text,
                         int64_t onset, int64_t offsetTicks, int onsetDecimals)
{
    // the longest time-keeping TAL, its 0x00 and the longest annotation TAL fit
    static_assert(edfAnnotationSlotBytes >= edfLongestTimeKeepingTalBytes + 1 + edfLongestAnnotationTalBytes);
    std::memset(slot, 0, sizeof slot);
    int n = WriteTimeKeepingTal(slot, record, recordTicks, offsetTicks);
    if (text == nullptr)
        return;
    slot[n++] = '\0';
    (void)WriteAnnotationTal(slot + n, text, onset, onsetDecimals, edfMaxAnnotationTextBytes);
}
