// Fuzz target: a whole conversion of a recording directory made from the fuzz input: one to three
// channel files and an optional event file, written to a fresh directory, converted by the engine
// (or by the conversion run that the window and the command line use, with a silent frontend),
// then checked and removed. The EDF files are written through small streams
// (FuzzSupport::smallStreams), so that every file written runs the writing thread.
//
// Checks: the input files are left as they were; every EDF file written that is not empty is
// valid EDF+ with one signal per channel and the annotation signal; a successful conversion wrote
// at least one; and no file is left open in the EDF file engine's table, whatever the outcome.
//
// Input: a flags byte, then each channel file and the event file in their packed form, each after
// a 16-bit length.
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "edf/EdfFileEngine.h"
#include "edf/EdfParser.h"
#include "engine/ConversionRun.h"
#include "engine/OrvToEDF.h"
#include "fuzz/FuzzSupport.h"
#include "logging/LogFile.h"

namespace {

using FuzzSupport::Finding;

class SilentFrontend : public ConversionFrontend {
public:
    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring&) override {}
    void OnResult(int) override {}
};

struct InputFile {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;
};

// The engine's table must be empty between conversions: its lowest free slot is then slot 0.
void ExpectNoEdfFileOpen(const std::filesystem::path& dir)
{
    const std::filesystem::path probe = dir / "probe.edf";
    const int handle = EdfOpenFile(probe.c_str(), 0);
    if (handle != 0)
        Finding("the conversion left a file open in the EDF file engine's table");
    if (EdfCloseFile(handle) != EdfOk)
        Finding("closing the probe file failed");
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
}

void CheckOutput(const std::filesystem::path& dir, const std::vector<InputFile>& inputs, size_t channelCount,
                 int result)
{
    for (const InputFile& input : inputs) {
        std::error_code error;
        if (std::filesystem::file_size(input.path, error) != input.bytes.size() || error)
            Finding("an input file was changed");
    }
    size_t edfFiles = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(dir, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->path().extension() != ".edf")
            continue;
        ++edfFiles;
        std::error_code sizeError;
        if (std::filesystem::file_size(entry->path(), sizeError) == 0 && result != 0)
            continue;  // a file whose parameters the writer refused gets no header
        EdfFile edf;
        std::string problem;
        if (!ParseEdfFile(entry->path(), edf, problem))
            Finding("an EDF file written is not valid EDF+", entry->path().filename().string() + ": " + problem);
        if (edf.signalCount != static_cast<int>(channelCount) + 1 || !edf.signals.back().isAnnotation)
            Finding("an EDF file does not hold one signal per channel and the annotation signal");
        // every file is handed "Recording starts" first: its first data record carries it
        if (edf.recordCount > 0
            && (edf.annotations.empty() || edf.annotations.front().record != 0 || edf.annotations.front().onset != "+0"
                || edf.annotations.front().texts != std::vector<std::string>{"Recording starts"}))
            Finding("an EDF file's first data record does not carry \"Recording starts\" at +0",
                    entry->path().filename().string());
    }
    if (result == 0 && edfFiles == 0)
        Finding("a successful conversion wrote no EDF file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::UseSmallStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InputCursor input(data, size);
    const uint8_t flags = input.Byte();
    const size_t channelCount = static_cast<size_t>(flags & 3) % 3 + 1;
    const bool withEvents = (flags & 0x04) != 0;
    const bool throughRun = (flags & 0x08) != 0;
    const bool fillHeaderBlocks = (flags & 0x10) != 0;

    const std::filesystem::path dir = FuzzSupport::ScratchDirectory() / "recording";
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    if (!std::filesystem::create_directory(dir, error))
        Finding("cannot create the recording directory");

    std::vector<InputFile> inputs;
    std::vector<std::wstring> cscFiles;
    for (size_t channel = 0; channel < channelCount; ++channel) {
        const std::filesystem::path path = dir / ("CSC" + std::to_string(channel + 1) + ".ocs");
        inputs.push_back({path, FuzzSupport::ExpandAcquisitionFile(input.LengthPrefixed(), fillHeaderBlocks)});
        cscFiles.push_back(path.wstring());
    }
    std::wstring eventFile;
    if (withEvents) {
        const std::filesystem::path path = dir / "Events.oev";
        inputs.push_back({path, FuzzSupport::ExpandAcquisitionFile(input.LengthPrefixed(), fillHeaderBlocks)});
        eventFile = path.wstring();
    }
    for (const InputFile& file : inputs) {
        if (!FuzzSupport::WriteFile(file.path, file.bytes))
            Finding("cannot write an input file");
    }

    int result = -1;
    if (throughRun) {
        std::vector<std::wstring> scanned;
        std::wstring scannedEvents;
        ScanDirectory(dir.wstring(), scanned, scannedEvents);
        if (scanned != cscFiles || scannedEvents != eventFile)
            Finding("the directory scan did not find the files written");
        LogFile logFile;
        logFile.SetMessageBoxHandler([](const std::wstring&, const std::wstring&) {});
        SilentFrontend frontend;
        result = RunConversion(dir.wstring(), scanned, scannedEvents, logFile, frontend);
    } else {
        OrvToEDF engine;
        result = engine.Convert((dir / "DevOutput.edf").wstring(), eventFile, cscFiles);
    }

    ExpectNoEdfFileOpen(FuzzSupport::ScratchDirectory());
    CheckOutput(dir, inputs, channelCount, result);
    std::filesystem::remove_all(dir, error);
    return 0;
}
