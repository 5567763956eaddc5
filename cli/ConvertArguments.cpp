#include "cli/ConvertArguments.h"

#include <cstdlib>
#include <fstream>
#include <getopt.h>

#include "engine/Identification.h"

namespace {

constexpr const char* usageText =
    "Usage: varelo-convert [OPTION]... DIRECTORY...\n"
    "       varelo-convert --list ROOT...\n"
    "\n"
    "Converts each recording DIRECTORY in turn into EDF+ files written beside the data:\n"
    "every channel file (*.ocs) becomes one EDF signal, the first event file (*.oev) gives the\n"
    "annotations, and each gap-free stretch of the recording (segment) becomes its own file.\n"
    "Every message is written to VareloLogFile.txt in the directory and printed here as its log\n"
    "line; each directory ends with the line \"Conversion Complete\" or \"Conversion Failed\".\n"
    "\n"
    "Without options the output is lab output, files an analysis can take as they are: data\n"
    "records of exactly their samples / sampling rate (EDF readers see the true rate) and the\n"
    "first record at the fraction of a second of the first sample; the physical dimension uV;\n"
    "annotation onsets to the microsecond; channels in the natural order of their file names\n"
    "(CSC2 before CSC10); the whole 16-bit digital range with the physical range scaled by the\n"
    "header's step (input range / A/D maximum), so that no sample is clipped; event texts whole,\n"
    "in UTF-8; every file read back once written and compared with what was read.\n"
    "\n"
    "File names: DevOutput_run<RR>_seg<KK>of<NN>.edf, segment KK of NN, zero-padded to the\n"
    "digits of NN so that the names sort in segment order; RR (01, 02, ...) is the lowest run\n"
    "number that no file in the directory carries, so a rerun's files never mix with the first\n"
    "run's. Nothing is overwritten. A file is written as .<name>.partial and renamed once it\n"
    "is complete (the flat names once the whole run is): a failed, stopped or killed run leaves\n"
    "no .edf file that is not complete, and a Warning and the report name what it left.\n"
    "\n"
    "Output options:\n"
    "      --classic       the window's usual output instead, byte for byte as it always was:\n"
    "                      records sized as usual, blank dimension, onsets in 0.1 ms, channels in\n"
    "                      listing order, the range from the A/D maximum (samples beyond it are\n"
    "                      clipped, with a Warning), event texts cut to 40 bytes (with a Warning),\n"
    "                      files named from DevOutput.edf (DevOutput_01.edf, ... when taken;\n"
    "                      DevOutput_01_01.edf for the next segment), each named once complete\n"
    "      --exact-timing  with --classic: data records whose duration is exactly their samples /\n"
    "                      sampling rate, so that EDF readers see the true rate (the usual sizing\n"
    "                      can make them drift by up to seconds per hour), the first record\n"
    "                      starting at the fraction of a second of the first sample\n"
    "      --unit UNIT     the physical dimension of every channel instead of uV (blank with\n"
    "                      --classic), for example mV; 1 to 8 printable ASCII characters\n"
    "      --resample HZ   every channel resampled to HZ (1 to the recording's rate; any ratio of\n"
    "                      rates) through a linear-phase anti-aliasing filter, its delay taken\n"
    "                      out: passes 0 to 0.4 x HZ within 0.1 dB, stops 0.5 x HZ on by 90 dB;\n"
    "                      each segment is filtered alone, its ends mirrored; samples keep their\n"
    "                      step (clipped ones get a Warning); channels of different rates all go\n"
    "                      to HZ (at most the lowest), onto the same instants; not with --classic\n"
    "      --split SECONDS no file longer than SECONDS (above 0, up to 6 decimals): each\n"
    "                      segment is cut at data records into parts of the most whole records\n"
    "                      that fit (at least one), named ..._seg<KK>of<NN>_part<PP>of<MM>.edf;\n"
    "                      a part starts to the microsecond where the one before ended and holds\n"
    "                      the events of its time (one at a cut goes into the later part); the\n"
    "                      first part alone holds \"Recording starts\", the last alone \"Recording\n"
    "                      ends\"; not with --classic\n"
    "      --verify        with --classic: read every EDF+ file back once it is written and compare\n"
    "                      every sample and annotation with what was read (lab output does so by\n"
    "                      default); a mismatch, or a sample clipped without a Warning, fails the\n"
    "                      directory and leaves the file unfinished\n"
    "      --no-verify     lab output without that read-back\n"
    "\n"
    "Channel and identification options:\n"
    "      --channels LIST  convert only these channels, in this order: names separated by commas,\n"
    "                      each a channel's -AcqEntName or its file's name without .ocs; a range\n"
    "                      of numbered names (CSC1-CSC16, or CSC16-CSC1 backwards: those the\n"
    "                      recording has); or a shell pattern (LFP*, in the usual order); a\n"
    "                      channel named twice comes once, at its first place. A name that names\n"
    "                      no channel is a usage error (with --recursive: an Error of that\n"
    "                      recording); the session checks apply to the chosen channels only\n"
    "      --label CHANNEL=LABEL  the EDF signal label of CHANNEL (named as by --channels); may\n"
    "                      be repeated. A label is 1 to 16 printable ASCII characters (with\n"
    "                      --classic longer ones are cut, with a Warning)\n"
    "      --labels FILE   the labels of a tab-separated FILE, a line \"CHANNEL<TAB>LABEL\" each;\n"
    "                      empty lines and lines beginning with # are passed over\n"
    "      --patient KEY=VALUE,...  the EDF+ patient identification: code, sex (M, F or X),\n"
    "                      birthdate (dd-MMM-yyyy, as 02-MAY-1951) and name, for example\n"
    "                      code=MCH-0234567,sex=F,birthdate=02-MAY-1951,name=Haagse Harry;\n"
    "                      blanks become underscores, a subfield left out is X; 80 characters\n"
    "      --recording KEY=VALUE,...  the EDF+ recording identification after its start date:\n"
    "                      admincode, technician and equipment, written as --patient's\n"
    "\n"
    "Lab output writes each channel's filter settings, where its header has them, into its EDF\n"
    "prefiltering field (\"HP:0.1Hz LP:9000Hz\"), and the report says whether the acquisition\n"
    "inverted the input (-InputInverted).\n"
    "\n"
    "Batch options:\n"
    "  -o, --output-dir DIR  write the EDF+ files, the log file and the report into DIR (created\n"
    "                      when missing) instead of beside the data, which is then only read;\n"
    "                      with several recordings each gets a subdirectory of DIR named after\n"
    "                      its path below its ROOT (--recursive) or its own name\n"
    "  -r, --recursive     the arguments are ROOTs: every directory below them that holds a\n"
    "                      channel file is a recording, converted in sorted path order (symbolic\n"
    "                      links to directories are not followed)\n"
    "  -j, --jobs N        convert up to N recordings at once, in N worker processes that take\n"
    "                      one recording after the other (default 1); each recording's lines\n"
    "                      are printed together when it ends\n"
    "      --skip-converted  pass over a recording whose last conversion completed with the\n"
    "                      same output options (--classic, --exact-timing, --unit, --resample,\n"
    "                      --split, the channel and identification options; not --verify nor\n"
    "                      the batch options) and whose channel and event files are\n"
    "                      unchanged since (names, sizes, times)\n"
    "      --report FILE   append one line of JSON per recording to FILE (JSON Lines); each\n"
    "                      recording's own report is VareloReport.json beside its log file\n"
    "      --list          print the recordings found below each ROOT, one directory a line,\n"
    "                      and convert nothing\n"
    "\n"
    "BIDS options:\n"
    "      --bids ROOT     write each recording into the BIDS dataset at ROOT (made when missing,\n"
    "                      added to when it exists; nothing in it is overwritten): its EDF+ files\n"
    "                      as sub-S/[ses-E/]ieeg/sub-S[_ses-E]_task-T[_acq-A]_run-R_ieeg.edf, one\n"
    "                      run per segment, beside their channels, events and recording sidecars,\n"
    "                      the session's scans table, participants.tsv and dataset_description.json;\n"
    "                      the log file and report stay in ROOT/sourcedata/varelo/; lab output only\n"
    "      --subject LABEL  the subject (required, unless --bids-pattern gives it)\n"
    "      --session LABEL  the session (default: none)\n"
    "      --task LABEL    the task (required, unless --bids-pattern gives it)\n"
    "      --acquisition LABEL  the acquisition (default: none)\n"
    "      --run N         the first segment's run (default: the next free one)\n"
    "      --datatype TYPE  ieeg (default) or eeg\n"
    "      --line-frequency HZ  the power line's frequency, 50 or 60 (default: n/a, with a Notice)\n"
    "      --channel-type TYPES  the channels' BIDS type: one type for every channel (SEEG, ECOG,\n"
    "                      EEG, MISC, ...) or NAME=TYPE pairs separated by commas; default SEEG for\n"
    "                      ieeg, EEG for eeg\n"
    "      --dataset-name NAME  the dataset's Name when it is made (default: the name of ROOT)\n"
    "      --bids-pattern PATTERN  with --recursive, the entities from each recording's path, whose\n"
    "                      last directories must match PATTERN, e.g. 'sub-{subject}/ses-{session}'\n"
    "                      ({subject}, {session}, {task}, {acquisition}, {run}); an option gives the\n"
    "                      entities the pattern does not\n"
    "\n"
    "Other options:\n"
    "  -q, --quiet         print only the result line of each directory (after the directory\n"
    "                      and \": \" when there are several, or with --recursive)\n"
    "  -h, --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "Every other option is off by default. Input that no file holds (samples of longer channels,\n"
    "a partial last record, event files beside the first) gets a Warning and a report entry.\n"
    "On a terminal, a batch of several recordings shows how many are done, the bytes converted\n"
    "and the time left. Ctrl-C stops the conversions under way, which then fail as any\n"
    "conversion that stops does (their report marks the file they were writing incomplete).\n"
    "\n"
    "Exit status: 0 when every directory converted (or was skipped), 1 when any failed, 2 for a\n"
    "usage error.\n";

enum OptionCode {
    ExactTiming = 1000,
    Unit,
    Verify,
    NoVerify,
    Version,
    SkipConverted,
    Report,
    List,
    Classic,
    Resample,
    Split,
    Channels,
    Label,
    Labels,
    Patient,
    RecordingId,
    Bids,
    Subject,
    Session,
    Task,
    Acquisition,
    Run,
    Datatype,
    LineFrequency,
    ChannelType,
    DatasetName,
    BidsPattern
};

const option longOptions[] = {
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, Version},
    {"classic", no_argument, nullptr, Classic},
    {"exact-timing", no_argument, nullptr, ExactTiming},
    {"unit", required_argument, nullptr, Unit},
    {"verify", no_argument, nullptr, Verify},
    {"no-verify", no_argument, nullptr, NoVerify},
    {"resample", required_argument, nullptr, Resample},
    {"split", required_argument, nullptr, Split},
    {"channels", required_argument, nullptr, Channels},
    {"label", required_argument, nullptr, Label},
    {"labels", required_argument, nullptr, Labels},
    {"patient", required_argument, nullptr, Patient},
    {"recording", required_argument, nullptr, RecordingId},
    {"output-dir", required_argument, nullptr, 'o'},
    {"recursive", no_argument, nullptr, 'r'},
    {"jobs", required_argument, nullptr, 'j'},
    {"skip-converted", no_argument, nullptr, SkipConverted},
    {"report", required_argument, nullptr, Report},
    {"list", no_argument, nullptr, List},
    {"bids", required_argument, nullptr, Bids},
    {"subject", required_argument, nullptr, Subject},
    {"session", required_argument, nullptr, Session},
    {"task", required_argument, nullptr, Task},
    {"acquisition", required_argument, nullptr, Acquisition},
    {"run", required_argument, nullptr, Run},
    {"datatype", required_argument, nullptr, Datatype},
    {"line-frequency", required_argument, nullptr, LineFrequency},
    {"channel-type", required_argument, nullptr, ChannelType},
    {"dataset-name", required_argument, nullptr, DatasetName},
    {"bids-pattern", required_argument, nullptr, BidsPattern},
    {nullptr, 0, nullptr, 0},
};

constexpr int largestJobCount = 256;
constexpr long highestResampleRate = 1000000;  // Hz, the highest rate a recording can have

ConvertArguments UsageError(std::string error)
{
    ConvertArguments arguments;
    arguments.request = ConvertArguments::Request::UsageError;
    arguments.error = std::move(error);
    return arguments;
}

// A label as the command line gave it, with the words that say where, for a usage error.
struct GivenLabel {
    std::string channel;
    std::string label;
    std::string origin;  // "--label CSC1=Fp1", "--labels FILE: line 3"
};

// "CHANNEL=LABEL"; false when either side is empty.
bool SplitLabel(const std::string& text, char separator, std::string& channel, std::string& label)
{
    const size_t at = text.find(separator);
    if (at == std::string::npos || at == 0 || at + 1 == text.size())
        return false;
    channel = text.substr(0, at);
    label = text.substr(at + 1);
    return true;
}

// The lines "CHANNEL<TAB>LABEL" of a labels file; false with the usage error.
bool ReadLabelsFile(const std::string& file, std::vector<GivenLabel>& labels, std::string& error)
{
    std::ifstream stream(file);
    if (!stream) {
        error = "--labels " + file + ": the file cannot be read";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(stream, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        GivenLabel given{{}, {}, "--labels " + file + ": line " + std::to_string(number)};
        if (!SplitLabel(line, '\t', given.channel, given.label)) {
            error = given.origin + " is not CHANNEL<TAB>LABEL";
            return false;
        }
        labels.push_back(given);
    }
    return true;
}

// The labels into the options, a later one for a channel in place of an earlier one; false with
// the usage error for a label that the header cannot hold.
bool TakeLabels(const std::vector<GivenLabel>& given, bool classic, ConversionOptions& options, std::string& error)
{
    for (const GivenLabel& label : given) {
        std::string reason;
        if (!IsUsableLabel(label.label, classic, reason)) {
            error = label.origin + ": " + reason;
            return false;
        }
        auto& labels = options.labels;
        std::erase_if(labels, [&](const auto& entry) { return entry.first == label.channel; });
        labels.emplace_back(label.channel, label.label);
    }
    return true;
}

std::string OptionName(int code)
{
    for (const option& entry : longOptions)
        if (entry.name != nullptr && entry.val == code)
            return std::string("--") + entry.name;
    return {};
}

bool SetLabel(const char* value, std::string& label, std::string& error)
{
    if (!IsBidsLabel(value)) {
        error = "not a BIDS label (letters and digits only)";
        return false;
    }
    label = value;
    return true;
}

// One option of --bids into `bids`; false with the reason in `error`.
bool SetBidsOption(int code, const char* value, BidsRequest& bids, std::string& error)
{
    switch (code) {
    case Bids:
        bids.root = value;
        while (bids.root.size() > 1 && bids.root.back() == '/')
            bids.root.pop_back();
        error = "needs a directory";
        return *value != '\0';
    case Subject:
        return SetLabel(value, bids.entities.subject, error);
    case Session:
        return SetLabel(value, bids.entities.session, error);
    case Task:
        return SetLabel(value, bids.entities.task, error);
    case Acquisition:
        return SetLabel(value, bids.entities.acquisition, error);
    case Run:
        error = "expected a run from 1 to " + std::to_string(largestRun);
        return ParseRunIndex(value, bids.entities.run);
    case Datatype:
        bids.datatype = value;
        error = "expected ieeg or eeg";
        return bids.datatype == "ieeg" || bids.datatype == "eeg";
    case LineFrequency:
        bids.lineFrequency = std::string(value) == "50" ? 50 : std::string(value) == "60" ? 60 : 0;
        error = "expected 50 or 60";
        return bids.lineFrequency != 0;
    case ChannelType:
        return ParseChannelTypes(value, bids, error);
    case DatasetName:
        bids.datasetName = value;
        error = "needs a name";
        return *value != '\0';
    default:
        bids.pattern = value;
        return IsBidsPattern(value, error);
    }
}

// What is wrong with the BIDS options taken together; empty when nothing is.
std::string BidsProblem(const ConvertArguments& arguments, bool classic)
{
    const BidsRequest& bids = arguments.bids;
    if (bids.root.empty())
        return "the BIDS options (--subject, --task, ...) need --bids ROOT";
    if (classic)
        return "--bids is lab output's, not --classic's";
    if (!arguments.outputDirectory.empty())
        return "--bids and --output-dir both say where the output goes: give one";
    const bool patterned = !bids.pattern.empty();
    if (bids.entities.subject.empty() && (!patterned || bids.pattern.find("{subject}") == std::string::npos))
        return "--bids needs --subject (or {subject} in --bids-pattern)";
    if (bids.entities.task.empty() && (!patterned || bids.pattern.find("{task}") == std::string::npos))
        return "--bids needs --task (or {task} in --bids-pattern)";
    return {};
}

}  // namespace

ConvertArguments ParseConvertArguments(int argc, char** argv)
{
    ConvertArguments arguments;
    optind = 0;  // a fresh scan, also when called more than once
    opterr = 0;  // the errors are told here, once
    int code = 0;
    bool list = false;
    bool classic = false;
    bool noVerify = false;
    bool bidsOptions = false;
    ConversionOptions asked;  // the output options given, which --classic keeps
    std::vector<GivenLabel> labels;
    while ((code = getopt_long(argc, argv, ":qho:rj:", longOptions, nullptr)) != -1) {
        switch (code) {
        case 'q':
            arguments.quiet = true;
            break;
        case 'h':
            arguments.request = ConvertArguments::Request::Help;
            return arguments;
        case Version:
            arguments.request = ConvertArguments::Request::Version;
            return arguments;
        case Classic:
            classic = true;
            break;
        case ExactTiming:
            asked.exactTiming = true;
            break;
        case Verify:
            asked.verify = true;
            break;
        case NoVerify:
            noVerify = true;
            break;
        case Unit: {
            std::string error;
            if (!IsUsablePhysicalDimension(optarg, error))
                return UsageError("--unit " + std::string(optarg) + ": " + error);
            asked.physicalDimension = optarg;
            break;
        }
        case Resample: {
            char* end = nullptr;
            const long rate = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || rate < 1 || rate > highestResampleRate)
                return UsageError("--resample " + std::string(optarg) + ": expected a rate in Hz from 1 to "
                                  + std::to_string(highestResampleRate));
            asked.resampleHz = static_cast<int>(rate);
            break;
        }
        case Split: {
            std::string error;
            if (!ParseSplitSeconds(optarg, asked.splitMicroseconds, error))
                return UsageError("--split " + std::string(optarg) + ": " + error);
            break;
        }
        case Channels: {
            std::string error;
            asked.channels.clear();
            if (!SplitChannelList(optarg, asked.channels, error))
                return UsageError("--channels " + std::string(optarg) + ": " + error);
            break;
        }
        case Label: {
            GivenLabel given{{}, {}, "--label " + std::string(optarg)};
            if (!SplitLabel(optarg, '=', given.channel, given.label))
                return UsageError(given.origin + ": expected CHANNEL=LABEL");
            labels.push_back(given);
            break;
        }
        case Labels: {
            std::string error;
            if (!ReadLabelsFile(optarg, labels, error))
                return UsageError(error);
            break;
        }
        case Patient:
        case RecordingId: {
            const bool patient = code == Patient;
            std::string error;
            if (!(patient ? ParsePatientIdentification(optarg, asked.patient, error)
                          : ParseRecordingIdentification(optarg, asked.recording, error)))
                return UsageError((patient ? "--patient " : "--recording ") + std::string(optarg) + ": " + error);
            break;
        }
        case 'o':
            if (*optarg == '\0')
                return UsageError("--output-dir needs a directory");
            arguments.outputDirectory = optarg;
            break;
        case 'r':
            arguments.recursive = true;
            break;
        case 'j': {
            char* end = nullptr;
            const long jobs = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || jobs < 1 || jobs > largestJobCount)
                return UsageError("--jobs " + std::string(optarg) + ": expected a number of jobs from 1 to "
                                  + std::to_string(largestJobCount));
            arguments.jobs = static_cast<int>(jobs);
            break;
        }
        case SkipConverted:
            arguments.skipConverted = true;
            break;
        case Report:
            if (*optarg == '\0')
                return UsageError("--report needs a file");
            arguments.reportFile = optarg;
            break;
        case List:
            list = true;
            break;
        case Bids:
        case Subject:
        case Session:
        case Task:
        case Acquisition:
        case Run:
        case Datatype:
        case LineFrequency:
        case ChannelType:
        case DatasetName:
        case BidsPattern: {
            std::string error;
            if (!SetBidsOption(code, optarg, arguments.bids, error))
                return UsageError(OptionName(code) + " " + optarg + ": " + error);
            bidsOptions = true;
            break;
        }
        case ':':
            return UsageError(std::string(argv[optind - 1]) + " needs a value");
        default:
            return UsageError("unknown option '" + std::string(argv[optind - 1]) + "'");
        }
    }
    if (classic && asked.resampleHz > 0)
        return UsageError("--resample is lab output's, not --classic's");
    if (classic && asked.splitMicroseconds > 0)
        return UsageError("--split is lab output's, not --classic's");
    if (noVerify && asked.verify)
        return UsageError("--no-verify contradicts --verify");
    if (bidsOptions) {
        const std::string problem = BidsProblem(arguments, classic);
        if (!problem.empty())
            return UsageError(problem);
        // parts would pass for runs: the dataset's iEEG and EEG names have no entity for them
        if (asked.splitMicroseconds > 0)
            return UsageError("--split is not for --bids: BIDS names iEEG and EEG files by run, not by part");
    }
    arguments.options = classic ? ConversionOptions() : ConversionOptions::Lab();
    arguments.options.exactTiming = arguments.options.exactTiming || asked.exactTiming;
    arguments.options.verify = (arguments.options.verify || asked.verify) && !noVerify;
    arguments.options.resampleHz = asked.resampleHz;
    arguments.options.splitMicroseconds = asked.splitMicroseconds;
    if (!asked.physicalDimension.empty())
        arguments.options.physicalDimension = asked.physicalDimension;
    arguments.options.channels = asked.channels;
    arguments.options.patient = asked.patient;
    arguments.options.recording = asked.recording;
    if (std::string error; !TakeLabels(labels, classic, arguments.options, error))
        return UsageError(error);
    for (int i = optind; i < argc; ++i)
        arguments.directories.emplace_back(argv[i]);
    if (arguments.directories.empty())
        return UsageError(list || arguments.recursive ? "no root given" : "no directory given");
    if (list) {
        arguments.request = ConvertArguments::Request::List;
        arguments.recursive = true;
    }
    return arguments;
}

const char* ConvertUsage()
{
    return usageText;
}
