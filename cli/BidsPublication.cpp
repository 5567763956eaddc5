#include "BidsPublication.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "BidsDataset.h"
#include "BidsFiles.h"
#include "BidsInputs.h"
#include "BidsNames.h"
#include "BidsSidecars.h"
#include "logging/ControlEscaping.h"
#include "logging/LogFile.h"
#include "logging/TextConversion.h"

namespace {

// An exclusive lock on a directory, held while the object lives.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& directory)
        : fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        locked = fd >= 0 && flock(fd, LOCK_EX) == 0;
    }
    ~DirectoryLock()
    {
        if (fd >= 0)
            (void)close(fd);  // releases the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    bool Locked() const { return locked; }

private:
    int fd = -1;
    bool locked = false;
};

// Tells one message of this step: on the terminal as a log line, and in the report.
class StepMessages {
public:
    StepMessages(RecordingReport& report, RunOutput& output, bool quiet) : report(report), output(output), quiet(quiet)
    {
    }
    void Tell(OrvLogging::ORVB_MESSAGE_TYPE type, const std::string& text)
    {
        const std::wstring escaped = OrvText::EscapeControls(OrvText::Utf8ToWide(text));
        report.messages.emplace_back(type, escaped);
        const std::string line = OrvText::WideToUtf8(LogFile::MessageLine(type, escaped));
        if (type == OrvLogging::Error)
            output.ErrorLine("varelo-convert: " + text);
        else if (!quiet)
            output.Line(line);
    }
    int Fail(const std::string& problem)
    {
        Tell(OrvLogging::Error, problem);
        report.result = "failed";
        return 1;
    }

private:
    RecordingReport& report;
    RunOutput& output;
    bool quiet;
};

bool WriteJson(const std::string& path, const nlohmann::ordered_json& json, std::string& error)
{
    return WriteNewFile(path, json.dump(4) + "\n", error);
}

// The sidecars of run `run`, then its EDF+ file under its name.
bool PlaceRun(const BidsNames& names, const BidsRequest& request, int run, const BidsRecording& recording,
              const TsvRows& events, const std::string& edfFile, std::string& error)
{
    const std::string& datatype = names.Datatype();
    return WriteNewFile(names.RunFile(run, "channels.tsv"), TsvText(ChannelsTable(recording)), error)
           && WriteNewFile(names.RunFile(run, "events.tsv"), TsvText(events), error)
           && WriteJson(names.RunFile(run, "events.json"), EventsDescription(), error)
           && WriteJson(names.RunFile(run, datatype + ".json"),
                        RecordingDescription(request, names.Entities().task, recording), error)
           && MoveWithoutReplacing(edfFile, names.RunFile(run, datatype + ".edf"), error);
}

}  // namespace

bool CheckBidsTargets(const Recording& recording, const BidsRequest& request, std::string& problem)
{
    const BidsNames names(request.root, recording.bids, request.datatype);
    if (recording.bids.run > 0 && names.RunTaken(recording.bids.run)) {
        problem = "run " + std::to_string(recording.bids.run) + " of " + names.Stem() + " exists already in "
                  + names.DataDirectory() + ": nothing converted";
        return false;
    }
    return true;
}

int PublishToBids(const Recording& recording, const BidsRequest& request, const std::wstring& eventFile,
                  RecordingReport& report, RunOutput& output, bool quiet)
{
    StepMessages messages(report, output, quiet);
    const BidsNames names(request.root, recording.bids, request.datatype);
    std::string error;
    std::vector<ChannelSettings> settings(report.summary.channels.size());
    for (size_t i = 0; i < settings.size(); ++i) {
        std::vector<std::string> warnings;
        if (!ReadChannelSettings(report.summary.channels[i].file, settings[i], warnings, error))
            return messages.Fail(error);
        for (const std::string& warning : warnings)
            messages.Tell(OrvLogging::Warning, warning);
    }
    std::vector<RecordedEvent> events;
    if (!ReadRecordedEvents(eventFile, events, error))
        return messages.Fail(error);

    std::error_code made;
    std::filesystem::create_directories(names.DataDirectory(), made);
    if (made)
        return messages.Fail("cannot create " + names.DataDirectory() + ": " + made.message());
    const DirectoryLock lock(request.root);
    if (!lock.Locked())
        return messages.Fail("cannot lock the dataset " + request.root + " against other conversions into it");
    std::vector<OutputFileSummary>& outputs = report.summary.outputs;
    const int firstRun = recording.bids.run > 0 ? recording.bids.run : names.HighestRun() + 1;
    const std::string kept = " (the EDF+ files stay in " + recording.outputDirectory + ")";
    for (size_t k = 0; k < outputs.size(); ++k) {
        const int run = firstRun + static_cast<int>(k);
        if (run > largestRun || names.RunTaken(run))
            return messages.Fail("run " + std::to_string(run) + " of " + names.Stem() + " exists already in "
                                 + names.DataDirectory() + ": nothing written into the dataset" + kept);
    }
    if (!StartDataset(request, error))
        return messages.Fail(error + kept);
    std::vector<std::pair<std::string, std::string>> scans;
    for (size_t k = 0; k < outputs.size(); ++k) {
        const int run = firstRun + static_cast<int>(k);
        const std::string edfFile = OrvText::WideToUtf8(outputs[k].file);
        BidsRecording recorded;
        if (!DescribeRecording(edfFile, settings, request, recorded, error)
            || !PlaceRun(names, request, run, recorded, EventsTable(events, outputs[k], recorded.samplingFrequency),
                         edfFile, error))
            return messages.Fail(error);
        outputs[k].file = OrvText::Utf8ToWide(names.RunFile(run, request.datatype + ".edf"));
        scans.emplace_back(names.ScansEntry(run), AcquisitionTime(outputs[k]));
    }
    if (!AddScans(names.ScansTable(), scans, error) || !AddParticipant(request.root, recording.bids.subject, error))
        return messages.Fail(error);
    if (request.lineFrequency == 0)
        messages.Tell(OrvLogging::Notice, "PowerLineFrequency is \"n/a\" in the sidecars of " + names.Stem()
                                              + ": give --line-frequency 50 or 60 to state it.");
    messages.Tell(OrvLogging::Notice, "Added to the BIDS dataset " + request.root + ": " + names.Stem() + ", runs "
                                          + std::to_string(firstRun) + " to "
                                          + std::to_string(firstRun + static_cast<int>(outputs.size()) - 1) + ".");
    return 0;
}
