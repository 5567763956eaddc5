#include "edf/EDFPlusFileWriter.h"

#include <climits>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

// The first of stem_01.ext, stem_02.ext, ... (from the path's last '.') that no file takes.
std::string FirstFreeNumberedName(const std::string& name)
{
    const std::wstring wide = OrvText::Utf8ToWide(name);
    const size_t dot = wide.rfind(L'.');
    const std::wstring stem = wide.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : wide.substr(dot);
    std::string candidate;
    for (int number = 1;; ++number) {
        candidate = OrvText::WideToUtf8(NumberedName(stem, number, extension));
        if (!IsTakenName(candidate))
            return candidate;
    }
}

// Whether the last part of the path is longer than its directory's file system allows.
bool NameTooLong(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const size_t nameBytes = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    const long limit = pathconf(directory.c_str(), _PC_NAME_MAX);
    return nameBytes > static_cast<size_t>(limit > 0 ? limit : NAME_MAX);
}

}  // namespace

EDFPlusFileWriter::~EDFPlusFileWriter()
{
    // A destructor reports nothing. A file whose header checks fail cannot be closed: it is
    // released as it is, empty.
    if (fileOpen && EdfCloseFile(edfHandle) == EdfFailure)
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
    if (firstFileName.empty())
        firstFileName = name;
    if (IsTakenName(name))
        name = FreeName(name);
    edfHandle = EdfOpenFile(name.c_str(), signalCount);
    // Another program (another run on the same directory) took the name after it was found
    // free: the engine created nothing, and the next free name is tried.
    for (int attempt = 0; edfHandle == EdfNameTaken && attempt < maxCreateAttempts; ++attempt) {
        name = FreeName(name);
        edfHandle = EdfOpenFile(name.c_str(), signalCount);
    }
    fileName = OrvText::Utf8ToWide(name);
    fileOpen = edfHandle >= 0;
    if (edfHandle < 0)
        return Fail(L"Unable to open EDF file named: " + fileName);
    this->signalCount = signalCount;
    openFileName = fileName;
    recordsWritten = 0;
    annotationsWritten = 0;
    messageEvent.Publish(OrvLogging::Notice, L"EDF File Opened Successfully: " + fileName);
    return 0;
}

std::string EDFPlusFileWriter::FreeName(const std::string& name) const
{
    const std::string next = MakeUniqueFileName(name);
    // A name that grows by a number for every file would soon pass what the file system allows:
    // then the counter starts again over the name of the first file.
    return NameTooLong(next) ? FirstFreeNumberedName(firstFileName) : next;
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
    ++annotationsWritten;
    return 0;
}

int EDFPlusFileWriter::WriteDataRecord(const std::vector<short>& samples)
{
    if (EdfWriteRecord(edfHandle, samples.data()) != 0)
        return Fail(L"Error writing data to file");
    ++recordsWritten;
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
    const int closed = EdfCloseFile(edfHandle);
    if (closed == EdfFailure)
        return Fail(L"Unable to close EDF file.");
    fileOpen = false;
    if (closed == EdfAnnotationsLeftOut) {
        std::wostringstream message;
        message << L"Unable to keep every annotation in EDF file " << openFileName << L": "
                << annotationsWritten - recordsWritten << L" of " << annotationsWritten
                << L" were left out, since the file could not be rewritten with room for them.";
        messageEvent.Publish(OrvLogging::Warning, message.str());
    }
    return 0;
}

std::string EDFPlusFileWriter::MakeUniqueFileName(const std::string& name)
{
    if (name.empty())
        return {};
    return IsTakenName(name) ? FirstFreeNumberedName(name) : name;
}

int EDFPlusFileWriter::Fail(const std::wstring& message)
{
    messageEvent.Publish(OrvLogging::Error, message);
    return -1;
}
