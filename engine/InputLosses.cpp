#include "InputLosses.h"

#include <iomanip>
#include <sstream>
#include <sys/stat.h>

#include "logging/TextConversion.h"
#include "reader/OrvRecords.h"

namespace {

constexpr uint64_t cscRecordBytes = sizeof(Velquor::CSCRecord);
constexpr uint64_t eventRecordBytes = sizeof(Velquor::EventRecord);
constexpr uint64_t cscSampleOffset = offsetof(Velquor::CSCRecord, samples);

// The bytes after the last whole record of the file; 0 when it cannot be looked at.
uint64_t PartialBytes(const std::wstring& file, uint64_t recordBytes)
{
    struct stat info {};
    if (stat(OrvText::WideToUtf8(file).c_str(), &info) != 0 || !S_ISREG(info.st_mode)
        || static_cast<uint64_t>(info.st_size) <= Velquor::orvHeaderBytes)
        return 0;
    return (static_cast<uint64_t>(info.st_size) - Velquor::orvHeaderBytes) % recordBytes;
}

// "0.5 s": seconds with up to six decimals, trailing zeros dropped.
std::wstring Seconds(uint64_t samples, int sampleFrequency)
{
    std::wostringstream text;
    text << std::fixed << std::setprecision(6) << static_cast<double>(samples) / static_cast<double>(sampleFrequency);
    std::wstring seconds = text.str();
    seconds.erase(seconds.find_last_not_of(L'0') + 1);
    if (seconds.back() == L'.')
        seconds.pop_back();
    return seconds + L" s";
}

const wchar_t* Plural(size_t count, const wchar_t* one, const wchar_t* many)
{
    return count == 1 ? one : many;
}

}  // namespace

std::vector<InputLeftOut> FindPartialRecords(const std::vector<std::wstring>& cscFiles, const std::wstring& eventFile)
{
    std::vector<InputLeftOut> partial;
    for (const std::wstring& file : cscFiles) {
        const uint64_t bytes = PartialBytes(file, cscRecordBytes);
        if (bytes > 0)
            partial.push_back({file, {}, bytes > cscSampleOffset ? (bytes - cscSampleOffset) / 2 : 0, bytes});
    }
    if (!eventFile.empty()) {
        const uint64_t bytes = PartialBytes(eventFile, eventRecordBytes);
        if (bytes > 0)
            partial.push_back({eventFile, {}, 0, bytes});
    }
    return partial;
}

std::wstring PartialRecordsWarning(const std::vector<InputLeftOut>& partial, int sampleFrequency)
{
    if (partial.empty())
        return {};
    std::wostringstream message;
    message << partial.size() << Plural(partial.size(), L" file ends", L" files end")
            << L" in a partial record, which is ignored:";
    for (size_t i = 0; i < partial.size(); ++i) {
        const InputLeftOut& file = partial[i];
        message << (i == 0 ? L" " : L"; ") << file.file << L" " << file.bytes << L" bytes";
        if (file.samples > 0)
            message << L" (" << file.samples << L" samples, " << Seconds(file.samples, sampleFrequency) << L")";
    }
    message << L".";
    return message.str();
}

std::wstring ChannelsCutWarning(const std::vector<InputLeftOut>& cut, int sampleFrequency)
{
    if (cut.empty())
        return {};
    std::wostringstream message;
    message << L"Channels of unequal length: " << cut.size() << Plural(cut.size(), L" channel holds", L" channels hold")
            << L" samples that the other channels lack, which are in no EDF+ file:";
    for (size_t i = 0; i < cut.size(); ++i) {
        const InputLeftOut& channel = cut[i];
        message << (i == 0 ? L" " : L"; ") << channel.channel << L" (" << channel.file << L") " << channel.samples
                << L" samples, " << Seconds(channel.samples, sampleFrequency);
    }
    message << L".";
    return message.str();
}

std::wstring EventFilesNotUsedWarning(const std::wstring& used, const std::vector<std::wstring>& notUsed)
{
    if (notUsed.empty())
        return {};
    std::wostringstream message;
    message << notUsed.size() << Plural(notUsed.size(), L" event file is", L" event files are")
            << L" not used: only the first, " << used << L", gives the annotations. Not used:";
    for (size_t i = 0; i < notUsed.size(); ++i)
        message << (i == 0 ? L" " : L", ") << notUsed[i];
    message << L".";
    return message.str();
}
