// Writes the seed corpora of the fuzz targets: fuzz-seeds DIRECTORY writes DIRECTORY/fuzz_reader,
// DIRECTORY/fuzz_conversion and DIRECTORY/fuzz_edf_engine, one file per seed. Each seed is a
// small meaningful input in its target's input layout (see the comment at the top of each
// target): valid recordings made with the record builders, and a few edge cases.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "synth/SynthRecords.h"
#include "tests/support/RecordingBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string HeaderText(const std::vector<std::string>& lines, const std::string& lineEnd = "\n")
{
    std::string text;
    for (const std::string& line : lines)
        text += line + lineEnd;
    return text;
}

// `count` CSC records of `valid` samples each at `frequency`, from `first` µs on, with a ramp.
Bytes CscRecords(int count, uint32_t valid, int frequency, uint64_t first, uint64_t jumpAfter = 0)
{
    Bytes bytes;
    for (int r = 0; r < count; ++r) {
        std::vector<int16_t> samples;
        for (uint32_t i = 0; i < valid && i < 512; ++i)
            samples.push_back(static_cast<int16_t>(r * 512 + static_cast<int>(i) - 300));
        uint64_t timestamp = first + static_cast<uint64_t>(r) * 512u * 1000000u / static_cast<uint64_t>(frequency);
        if (jumpAfter != 0 && static_cast<uint64_t>(r) >= jumpAfter)
            timestamp += 5000000;  // a gap of 5 s
        VareloSynth::AppendCscRecord(bytes, {timestamp, 1, static_cast<uint32_t>(frequency), valid, samples});
    }
    return bytes;
}

Bytes EventRecords(const std::vector<std::pair<uint64_t, std::string>>& events)
{
    Bytes bytes;
    for (const auto& [timestamp, text] : events) {
        VareloSynth::EventRecordFields event;
        event.timestampUs = timestamp;
        event.text = text;
        VareloSynth::AppendEventRecord(bytes, event);
    }
    return bytes;
}

void PutLengthPrefixed(Bytes& out, const Bytes& piece)
{
    out.push_back(static_cast<uint8_t>(piece.size() & 0xFF));
    out.push_back(static_cast<uint8_t>(piece.size() >> 8));
    out.insert(out.end(), piece.begin(), piece.end());
}

Bytes Packed(const std::string& header, const Bytes& records)
{
    return FuzzSupport::PackAcquisitionFile(header, records);
}

void Append(Bytes& out, std::initializer_list<int> values)
{
    for (const int value : values)
        out.push_back(static_cast<uint8_t>(value));
}

bool Write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes)
{
    if (!FuzzSupport::WriteFile(dir / name, bytes)) {
        std::fprintf(stderr, "fuzz-seeds: cannot write %s\n", (dir / name).c_str());
        return false;
    }
    return true;
}

std::string ChannelHeader(const std::string& name, const std::string& frequency, const std::string& adMax = "32767",
                          const std::string& inputRange = "1000")
{
    RecordingBuilder::Channel channel;
    channel.name = name;
    channel.samplingFrequency = frequency;
    channel.adMaxValue = adMax;
    channel.inputRange = inputRange;
    return HeaderText(RecordingBuilder::ChannelHeader(channel));
}

// Reader input: file flags, access flags, the file, then (selector, index + 2) pairs.
Bytes ReaderSeed(uint8_t fileFlags, uint8_t accessFlags, const Bytes& file, const Bytes& accesses)
{
    Bytes seed{fileFlags, accessFlags};
    PutLengthPrefixed(seed, file);
    seed.insert(seed.end(), accesses.begin(), accesses.end());
    return seed;
}

bool WriteReaderSeeds(const std::filesystem::path& dir)
{
    const std::string csc = ChannelHeader("CSC1", "32000");
    const Bytes walk{0, 2, 1, 3, 0, 9, 1, 2, 0x80, 2, 0, 0, 1, 40, 0, 5, 0, 2};
    const std::string eventHeader = HeaderText({"######## Acquisition File Header", "-FileType Event"});
    const Bytes events = EventRecords({{1000, "Starting Recording"},
                                       {2000, "TTL Input on AcqSystem1_0 board 0 port 2"},
                                       {3000, std::string(128, 'x')},
                                       {4000, ""},
                                       {5000, "\xE9v\xE9nement"}});
    Bytes corrupt = CscRecords(4, 512, 32000, 1000);
    VareloSynth::PutLittleEndian32(corrupt.data() + 2 * VareloSynth::cscRecordBytes + 16, 600);
    Bytes truncated = CscRecords(2, 100, 1000, 0);
    truncated.resize(truncated.size() + 500, 0x5A);

    return Write(dir, "csc_valid", ReaderSeed(0x00, 0x00, Packed(csc, CscRecords(3, 512, 32000, 1000)), walk))
           && Write(dir, "csc_one_page_budget",
                    ReaderSeed(0x20, 0x04, Packed(csc, CscRecords(8, 512, 32000, 1000)), walk))
           && Write(dir, "csc_budget_after_open", ReaderSeed(0x60, 0x01, Packed(csc, CscRecords(6, 10, 1000, 7)), walk))
           && Write(dir, "event_valid", ReaderSeed(0x04, 0x00, Packed(eventHeader, events), walk))
           && Write(dir, "csc_corrupt_record", ReaderSeed(0x40, 0x00, Packed(csc, corrupt), walk))
           && Write(dir, "no_file_type",
                    ReaderSeed(0x02, 0x00, Packed("-SessionUUID \"a b\"\r\n# comment\n  -X\t1 2\n", events), walk))
           && Write(dir, "unknown_file_type",
                    ReaderSeed(0x00, 0x00, Packed("-FileType Spike\n", CscRecords(1, 1, 1, 0)), {}))
           && Write(dir, "short_raw_file", ReaderSeed(0x08, 0x00, Bytes(100, 'A'), {}))
           && Write(dir, "header_without_nul",
                    ReaderSeed(0x13, 0x02, Packed("-FileType csc\n-AcqEntName \"CSC 1", truncated), walk))
           && Write(dir, "truncated_last_record", ReaderSeed(0x00, 0x00, Packed(csc, truncated), walk));
}

// Conversion input: flags (channel count - 1, events 0x04, conversion run 0x08, blank-filled
// header blocks 0x10), then each channel file and the event file, packed, after a 16-bit length.
Bytes ConversionSeed(uint8_t flags, const std::vector<Bytes>& files)
{
    Bytes seed{flags};
    for (const Bytes& file : files)
        PutLengthPrefixed(seed, file);
    return seed;
}

bool WriteConversionSeeds(const std::filesystem::path& dir)
{
    const std::string eventHeader = HeaderText({"-FileType Event"});
    const Bytes events = EventRecords({{500, "Starting Recording"}, {1200, "Stimulus"}, {400000, "Late"}});
    // 1,000 Hz: one record of 512 samples spans 512,000 µs
    const Bytes one = Packed(ChannelHeader("CSC1", "1000"), CscRecords(2, 512, 1000, 1000));
    const Bytes two = Packed(ChannelHeader("CSC2", "1000"), CscRecords(2, 512, 1000, 1003));
    const Bytes withGap = Packed(ChannelHeader("CSC1", "1000"), CscRecords(2, 300, 1000, 1000, 1));
    const Bytes fast = Packed(ChannelHeader("CSC1", "32000"), CscRecords(3, 512, 32000, 1'500'000'000'000'000ull));
    const Bytes badRange = Packed(ChannelHeader("CSC1", "1000", "40000", "0"), CscRecords(1, 512, 1000, 1000));
    const Bytes tiny = Packed(ChannelHeader("Lowest", "1"), CscRecords(1, 40, 1, 1000));
    const Bytes eventFile = Packed(eventHeader, events);

    return Write(dir, "one_channel", ConversionSeed(0x00, {one}))
           && Write(dir, "one_channel_with_events", ConversionSeed(0x04, {one, eventFile}))
           && Write(dir, "two_channels_offset", ConversionSeed(0x01, {one, two}))
           && Write(dir, "two_channels_run_with_events", ConversionSeed(0x0D, {one, two, eventFile}))
           && Write(dir, "three_channels_with_gap", ConversionSeed(0x06, {withGap, withGap, withGap, eventFile}))
           && Write(dir, "wall_clock_32kHz", ConversionSeed(0x00, {fast}))
           && Write(dir, "refused_ranges", ConversionSeed(0x00, {badRange}))
           && Write(dir, "one_hertz", ConversionSeed(0x04, {tiny, eventFile}))
           && Write(dir, "sessions_differ", ConversionSeed(0x01, {one, Packed("-SessionUUID other\n", {})}));
}

// EDF engine input: a sequence of operations (opcode, then arguments; see FuzzEdfEngine.cpp).
bool WriteEdfEngineSeeds(const std::filesystem::path& dir)
{
    // opcodes
    enum {
        open,
        samples,
        physicalMax,
        physicalMin,
        digitalMax,
        digitalMin,
        label,
        duration,
        start,
        record,
        annotation,
        close
    };
    // A file of `signals` signals (file selector 0) with valid parameters: 7 samples per record,
    // physical -1000 to 1000, digital -32768 to 32767, a label each.
    const auto readyFile = [&](Bytes& ops, int path, int signals) {
        Append(ops, {open, path, signals});
        for (int s = 0; s < signals; ++s) {
            Append(ops,
                   {samples,    0, s, 3, physicalMax, 0, s, 3, physicalMin, 0,   s,   4,   digitalMax, 0,      s, 0,
                    digitalMin, 0, s, 2, label,       0, s, 0, 5,           'E', 'E', 'G', ' ',        '0' + s});
        }
    };
    Bytes complete;
    readyFile(complete, 0, 2);
    Append(complete, {start, 0, 2, 7, 3, 10, 22, 33, annotation, 0, 0, 0, 16});
    complete.insert(complete.end(), {'R', 'e', 'c', 'o', 'r', 'd', 'i', 'n', 'g', ' ', 's', 't', 'a', 'r', 't', 's'});
    for (int r = 0; r < 3; ++r) {
        Append(complete, {record, 0, 1});
        for (int k = 0; k < 14; ++k)
            Append(complete, {k * 37 + r, k % 3 == 0 ? 0x80 : 0x01});
    }
    Append(complete, {annotation, 0, 2,          0, 3, 'a', 0xE9, 0x09, annotation, 0,   3,
                      0,          0, annotation, 0, 1, 0,   4,    'l',  'a',        's', 't'});
    Append(complete, {close, 0});

    Bytes atClose;
    readyFile(atClose, 1, 1);
    Append(atClose, {duration, 0, 4, annotation, 0, 0, 0, 2, 'h', 'i', annotation, 0, 7, 0, 1, 'x', close, 0});

    Bytes failures;
    Append(failures, {open, 2, 250, open, 6, 1, open, 2, 2, open, 2, 1, record, 0, 0, close, 0});
    Append(failures, {digitalMax, 0, 0, 1, digitalMin, 0, 0, 1, record, 0, 0, close, 0});
    Append(failures, {samples, 0, 1, 9, digitalMax, 250, 0, 0, close, 241, annotation, 0, 1, 0, 0});
    Append(failures, {open, 5, 1, record, 1, 0, close, 1});

    Bytes durations;
    readyFile(durations, 3, 1);
    Append(durations, {duration, 0, 10, record, 0, 0, record, 0, 0, annotation, 0, 6, 0, 0, close, 0});
    readyFile(durations, 4, 1);
    Append(durations, {duration, 1, 5, record, 1, 0, record, 1, 0});

    Bytes wide;
    Append(wide, {open, 0, 252, label, 0, 200, 0, 3, 'a', 'b', 'c'});

    return Write(dir, "complete_file", complete) && Write(dir, "closed_before_records", atClose)
           && Write(dir, "refusals_and_failed_writes", failures) && Write(dir, "fractional_durations", durations)
           && Write(dir, "512_signals", wide);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const char* const targets[] = {"fuzz_reader", "fuzz_conversion", "fuzz_edf_engine"};
    for (const char* target : targets) {
        std::error_code error;
        std::filesystem::create_directories(root / target, error);
        if (error) {
            std::fprintf(stderr, "fuzz-seeds: cannot create %s\n", (root / target).c_str());
            return 1;
        }
    }
    const bool written = WriteReaderSeeds(root / "fuzz_reader") && WriteConversionSeeds(root / "fuzz_conversion")
                         && WriteEdfEngineSeeds(root / "fuzz_edf_engine");
    return written ? 0 : 1;
}
