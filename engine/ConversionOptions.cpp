#include "engine/ConversionOptions.h"

#include "edf/EdfLayout.h"
#include "logging/TextConversion.h"

std::wstring ConversionOptions::Description(const ChoiceHint& hint) const
{
    std::wstring text = L"Conversion options in force:";
    if (exactTiming)
        text += L" " + WithChoiceHint(L"exact record timing", ConversionChoice::ExactRecordTiming, hint) + L";";
    if (!physicalDimension.empty())
        text += L" "
                + WithChoiceHint(L"physical dimension \"" + OrvText::Latin1ToWide(physicalDimension) + L"\"",
                                 ConversionChoice::PhysicalDimension, hint)
                + L";";
    if (verify)
        text +=
            L" " + WithChoiceHint(L"every file verified after conversion", ConversionChoice::Verification, hint) + L";";
    if (microsecondOnsets)
        text += L" annotation onsets to the microsecond;";
    if (naturalOrder)
        text += L" channels in the natural order of their file names;";
    if (losslessRange)
        text += L" the whole 16-bit range, no sample clipped;";
    if (wholeTexts)
        text += L" event texts whole;";
    if (resampleHz > 0)
        text += L" every channel resampled to " + std::to_wstring(resampleHz) + L" Hz (--resample "
                + std::to_wstring(resampleHz) + L");";
    if (flatNames)
        text += L" "
                + WithChoiceHint(L"one file per segment, named <name>_run<RR>_seg<KK>of<NN>.edf",
                                 ConversionChoice::LabOutput, hint)
                + L";";
    text.back() = L'.';
    return text;
}

ConversionOptions ConversionOptions::Lab()
{
    ConversionOptions lab;
    lab.exactTiming = true;
    lab.physicalDimension = "uV";
    lab.microsecondOnsets = true;
    lab.naturalOrder = true;
    lab.losslessRange = true;
    lab.wholeTexts = true;
    lab.flatNames = true;
    lab.verify = true;
    return lab;
}

bool IsUsablePhysicalDimension(const std::string& unit, std::string& error)
{
    if (unit.empty() || unit.size() > static_cast<std::size_t>(edfMaxPhysicalDimensionLength)) {
        error = "a unit has 1 to 8 characters, \"" + unit + "\" has " + std::to_string(unit.size());
        return false;
    }
    for (const char c : unit) {
        if (c < 0x20 || c > 0x7E) {
            error = "a unit holds printable ASCII characters only (letters, digits, signs), as the EDF header does";
            return false;
        }
    }
    return true;
}
