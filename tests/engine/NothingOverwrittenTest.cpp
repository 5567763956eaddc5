// Whatever a recording directory holds before a run is there, byte for byte and untouched, after
// it: successful runs and failing ones, one after the other. Only the log file is written anew.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

#include "engine/ConversionRun.h"
#include "synth/NewFile.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"

namespace {

// A directory entry as lstat sees it (a symbolic link is described, never followed): its type,
// its modification time and its contents, or the target of a link.
using EntryState = std::tuple<mode_t, int64_t, std::vector<unsigned char>>;

EntryState StateOf(const std::filesystem::path& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return {};
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    if (S_ISLNK(info.st_mode)) {
        const std::string target = std::filesystem::read_symlink(path).string();
        bytes.assign(target.begin(), target.end());
    }
    return {info.st_mode & S_IFMT, int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec, bytes};
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
    std::vector<RecordingBuilder::CscRecord> corrupt = RecordingBuilder::ContinuousRecords(july5th2017, 1000, 3000, 0);
    corrupt[2].validSamples = 513;  // the reader refuses it after the first data record
    RecordingBuilder::WriteCscFile(dir.path / "CSC2.ocs", RecordingBuilder::ChannelHeader(Named("CSC2")), corrupt);
    RecordingBuilder::WriteEventFile(dir.path / "Events.oev", {"-FileType Event"}, {{july5th2017 + 1000, "event"}});
    WriteFileBytes(dir.path / "VareloLogFile.txt", Bytes("an old log"));
    WriteFileBytes(dir.path / "DevOutput.edf", Bytes("old output"));
    WriteFileBytes(dir.path / "DevOutput_01.edf", Bytes("read-only output"));
    ASSERT_EQ(chmod((dir.path / "DevOutput_01.edf").c_str(), 0444), 0);
    std::filesystem::create_symlink(outside.path / "precious.edf", dir.path / "DevOutput_02.edf");
    std::filesystem::create_symlink(outside.path / "absent.edf", dir.path / "DevOutput_03.edf");
    const EntryState precious = StateOf(outside.path / "precious.edf");

    const std::wstring d = dir.path.wstring();
    const std::vector<std::wstring> good = {d + L"/CSC1.ocs"};
    const std::vector<std::wstring> failing = {d + L"/CSC1.ocs", d + L"/CSC2.ocs"};
    const std::tuple<std::vector<std::wstring>, int, std::string> runs[] = {
        {good, 0, "DevOutput_04.edf"},
        {good, 0, "DevOutput_05.edf"},
        {failing, -1, "DevOutput_06.edf"},
        {failing, -1, "DevOutput_07.edf"},
    };
    LogFile logFile;
    for (const auto& [cscFiles, result, created] : runs) {
        SCOPED_TRACE(created);
        std::map<std::string, EntryState> before = Snapshot(dir.path);
        CapturingFrontend frontend(logFile);
        EXPECT_EQ(RunConversion(d, cscFiles, d + L"/Events.oev", logFile, frontend), result);
        std::map<std::string, EntryState> after = Snapshot(dir.path);
        ASSERT_EQ(after.size(), before.size() + 1);
        EXPECT_EQ(std::get<0>(after[created]), S_IFREG);
        before.erase("VareloLogFile.txt");
        for (const auto& [name, state] : before)
            EXPECT_TRUE(after[name] == state) << name << " has changed";
        EXPECT_TRUE(StateOf(outside.path / "precious.edf") == precious);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(outside.path / "absent.edf")));
    }
}

TEST(NothingOverwrittenTest, TheGeneratorWritesNewFilesOnly)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", Bytes("first"), error)) << error;
    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", Bytes("second"), error));
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (dir.path / "CSC1.ocs").string() + ".");
    EXPECT_EQ(ReadFileBytes(dir.path / "CSC1.ocs"), Bytes("first"));
}
