#include "edf/EDFPlusFileWriter.h"

#include <sstream>
#include <sys/stat.h>

#include "edf/EdfFileEngine.h"
#include "logging/TextConversion.h"

namespace {

// A file system object exists under the name and is not a directory. A symbolic link counts as
// taken whatever it points to (lstat): creating the file through a dangling link would write
// wherever the link leads.
bool IsTakenName(const std::string& utf8Name)
{
    struct stat info {};
    return lstat(utf8Name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::wstring NumberedName(const std::wstring& stem, int number, const std::wstring& extension)
{
    std::wostringstream name;
    name << stem << L'_';
    if (number < 10)
        name << L'0';
    name << number << extension;
    return name.str();
}

}  // namespace

EDFPlusFileWriter::~EDFPlusFileWriter()
{
    // A destructor reports nothing. A file whose header checks fail cannot be closed: it is
    // released as it is, empty.
    if (fileOpen && EdfCloseFile(edfHandle) != 0)
        (void)EdfReleaseFile(edfHandle);
}

void EDFPlusFileWriter::Subscribe(MessageHandler handler, SubscriptionId& id)
{
    messageEvent.Subscribe(std::move(handler), id);
}

int EDFPlusFileWriter::OpenFile(std::wstring& fileName, int signalCount)
{
    if (signalCount > maxSignals) {
        std::wostringstream message;
        message << L"Unable to open EDF file named: " << fileName << L". The signal count (" << signalCount
                << L") must be less than or equal to " << maxSignals << L".";
        return Fail(message.str());
    }
    std::string name = OrvText::WideToUtf8(fileName);
    if (IsTakenName(name))
        name = MakeUniqueFileName(name);
    fileName = OrvText::Utf8ToWide(name);
    edfHandle = EdfOpenFile(name.c_str(), signalCount);
    fileOpen = edfHandle >= 0;
    if (edfHandle < 0)
        return Fail(L"Unable to open EDF file named: " + fileName);
    this->signalCount = signalCount;
    messageEvent.Publish(OrvLogging::Notice, L"EDF File Opened Successfully: " + fileName);
    return 0;
}

int EDFPlusFileWriter::SetSampleFrequency(int sampleFrequency, int& samplesPerRecord)
{
    samplesPerRecord = sampleFrequency;
    // 64-bit, so that no signal count and frequency overflow into a small or negative size
    const int64_t bytes = static_cast<int64_t>(signalCount) * sampleFrequency * 2;
    if (bytes > maxSampleBytesPerRecord) {
        const int64_t parts = bytes / maxSampleBytesPerRecord + 1;
        if (EdfSetRecordDuration(edfHandle, static_cast<int>(oneSecondDuration / parts)) != 0)
            return Fail(L"Unable to set data record duration");
        samplesPerRecord = static_cast<int>(sampleFrequency / parts);
    }
    return SetSamplesPerRecord(samplesPerRecord);
}

int EDFPlusFileWriter::SetSamplesPerRecord(int samplesPerRecord)
{
    for (int signal = 0; signal < signalCount; ++signal) {
        if (EdfSetSamplesPerRecord(edfHandle, signal, samplesPerRecord) != 0)
            return Fail(L"Error writing sample frequency to EDF file");
    }
    return 0;
}

int EDFPlusFileWriter::SetPhysicalRange(int signal, double minimum, double maximum)
{
    if (EdfSetPhysicalMaximum(edfHandle, signal, maximum) != 0)
        return Fail(L"Error writing physical maximum header value");
    if (EdfSetPhysicalMinimum(edfHandle, signal, minimum) != 0)
        return Fail(L"Error writing physical minimum header value");
    return 0;
}

int EDFPlusFileWriter::SetDigitalRange(int signal, int minimum, int maximum)
{
    if (EdfSetDigitalMaximum(edfHandle, signal, maximum) != 0)
        return Fail(L"Error writing digital maximum header value");
    if (EdfSetDigitalMinimum(edfHandle, signal, minimum) != 0)
        return Fail(L"Error writing digital minimum header value");
    return 0;
}

int EDFPlusFileWriter::SetLabel(int signal, const std::string& label)
{
    if (label.size() > static_cast<size_t>(maxLabelLength)) {
        std::wostringstream message;
        message << L"Warning, header labels can only be a max of " << maxLabelLength << L" chars, the label: "
                << OrvText::Latin1ToWide(label) << L" will be truncated.";
        messageEvent.Publish(OrvLogging::Warning, message.str());
    }
    if (EdfSetLabel(edfHandle, signal, label.c_str()) != 0)
        return Fail(L"Error writing label header value");
    return 0;
}

int EDFPlusFileWriter::WriteAnnotation(int64_t onset, const std::string& text)
{
    if (EdfAddAnnotation(edfHandle, text.c_str(), onset) != 0)
        return Fail(L"Error writing annotation.");
    return 0;
}

int EDFPlusFileWriter::WriteDataRecord(const std::vector<short>& samples)
{
    if (EdfWriteRecord(edfHandle, samples.data()) != 0)
        return Fail(L"Error writing data to file");
    return 0;
}

int EDFPlusFileWriter::SetStartDate(tm startTime)
{
    if (EdfSetStartDateTime(edfHandle, startTime.tm_year, startTime.tm_mon, startTime.tm_mday, startTime.tm_hour,
                            startTime.tm_min, startTime.tm_sec)
        != 0)
        return Fail(L"Error writing start date to EDF file");
    return 0;
}

int EDFPlusFileWriter::CloseFile()
{
    if (EdfCloseFile(edfHandle) == -1)
        return Fail(L"Unable to close EDF file.");
    fileOpen = false;
    return 0;
}

std::string EDFPlusFileWriter::MakeUniqueFileName(const std::string& name)
{
    if (name.empty())
        return {};
    const std::wstring wide = OrvText::Utf8ToWide(name);
    const size_t dot = wide.rfind(L'.');
    const std::wstring stem = wide.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : wide.substr(dot);
    std::wstring candidate = wide;
    for (int number = 1; IsTakenName(OrvText::WideToUtf8(candidate)); ++number)
        candidate = NumberedName(stem, number, extension);
    return OrvText::WideToUtf8(candidate);
}

int EDFPlusFileWriter::Fail(const std::wstring& message)
{
    messageEvent.Publish(OrvLogging::Error, message);
    return -1;
}
