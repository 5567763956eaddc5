// Whatever a recording directory holds before a run is there, byte for byte and untouched, after
// it: successful runs and failing ones, one after the other. Only the log file is written anew.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

#include "engine/ConversionRun.h"
#include "synth/NewFile.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs

// What a directory entry is, as lstat sees it: a symbolic link is described, never followed.
struct EntryState {
    mode_t type = 0;
    std::vector<unsigned char> bytes;  // contents of a file, or the target of a link
    int64_t mtimeNs = 0;
    bool operator==(const EntryState&) const = default;
};

EntryState StateOf(const std::filesystem::path& path)
{
    EntryState state;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return state;
    state.type = info.st_mode & S_IFMT;
    state.mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (S_ISLNK(info.st_mode)) {
        const std::string target = std::filesystem::read_symlink(path).string();
        state.bytes.assign(target.begin(), target.end());
    } else if (S_ISREG(info.st_mode)) {
        state.bytes = ReadFileBytes(path);
    }
    return state;
}

std::map<std::string, EntryState> Snapshot(const std::filesystem::path& directory)
{
    std::map<std::string, EntryState> entries;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        entries[entry.path().filename().string()] = StateOf(entry.path());
    return entries;
}

std::vector<unsigned char> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

}  // namespace

TEST(NothingOverwrittenTest, RunsLeaveEveryExistingFileAsItWas)
{
    TempDir outside;
    WriteFileBytes(outside.path / "precious.edf", Bytes("precious"));
    TempDir dir;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   RecordingBuilder::ContinuousRecords(july5th2017, 1000, 3000, 0));
    RecordingBuilder::Channel second;
    second.name = "CSC2";
    std::vector<RecordingBuilder::CscRecord> corrupt = RecordingBuilder::ContinuousRecords(july5th2017, 1000, 3000, 0);
    corrupt[2].validSamples = 513;  // the reader refuses it after the first data record
    RecordingBuilder::WriteCscFile(dir.path / "CSC2.ocs", RecordingBuilder::ChannelHeader(second), corrupt);
    RecordingBuilder::WriteEventFile(dir.path / "Events.oev", {"-FileType Event"}, {{july5th2017 + 1000, "event"}});
    WriteFileBytes(dir.path / "VareloLogFile.txt", Bytes("an old log"));
    WriteFileBytes(dir.path / "DevOutput.edf", Bytes("old output"));
    WriteFileBytes(dir.path / "DevOutput_01.edf", Bytes("old output 1"));
    WriteFileBytes(dir.path / "DevOutput_02.edf", Bytes("read-only output"));
    ASSERT_EQ(chmod((dir.path / "DevOutput_02.edf").c_str(), 0444), 0);
    std::filesystem::create_symlink(outside.path / "precious.edf", dir.path / "DevOutput_03.edf");
    std::filesystem::create_symlink(outside.path / "absent.edf", dir.path / "DevOutput_04.edf");
    const EntryState precious = StateOf(outside.path / "precious.edf");

    const std::wstring d = dir.path.wstring();
    const std::vector<std::wstring> good = {d + L"/CSC1.ocs"};
    const std::vector<std::wstring> failing = {d + L"/CSC1.ocs", d + L"/CSC2.ocs"};
    struct Run {
        std::vector<std::wstring> cscFiles;
        int result;
        std::string created;
    };
    const Run runs[] = {
        {good, 0, "DevOutput_05.edf"},
        {good, 0, "DevOutput_06.edf"},
        {failing, -1, "DevOutput_07.edf"},
        {failing, -1, "DevOutput_08.edf"},
    };
    LogFile logFile;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.created);
        std::map<std::string, EntryState> before = Snapshot(dir.path);
        CapturingFrontend frontend(logFile);
        EXPECT_EQ(RunConversion(d, run.cscFiles, d + L"/Events.oev", logFile, frontend), run.result);

        std::map<std::string, EntryState> after = Snapshot(dir.path);
        ASSERT_EQ(after.size(), before.size() + 1);
        EXPECT_EQ(after[run.created].type, S_IFREG);
        for (const auto& [name, state] : before) {
            if (name != "VareloLogFile.txt") {
                EXPECT_TRUE(after[name] == state) << name << " has changed";
            }
        }
        EXPECT_TRUE(StateOf(outside.path / "precious.edf") == precious);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(outside.path / "absent.edf")));
    }
}

TEST(NothingOverwrittenTest, TheGeneratorWritesNewFilesOnly)
{
    TempDir dir;
    const std::vector<unsigned char> bytes = Bytes("first");
    std::string error;
    ASSERT_TRUE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", bytes, error)) << error;
    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", Bytes("second"), error));
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (dir.path / "CSC1.ocs").string() + ".");
    EXPECT_EQ(ReadFileBytes(dir.path / "CSC1.ocs"), bytes);
}
