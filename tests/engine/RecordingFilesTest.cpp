#include "engine/RecordingFiles.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

TEST(RecordingFiles, ChannelAndEventFileNames)
{
    const struct {
        std::string name;
        bool channel;
        bool event;
    } cases[] = {
        {"CSC1.ocs", true, false},
        {".ocs", true, false},
        {"CSC1.OCS", false, false},  // the extension in capitals alone is passed over
        {"CSC1.Ocs", false, false},
        {"a.ocs.OCS", true, false},  // ".ocs" in small letters elsewhere in the name
        {"CSC1.ocs.bak", false, false},
        {"CSC1.ocsv", false, false},
        {"ocs", false, false},
        {"CSC1 .ocs", true, false},
        {"Events.oev", false, true},
        {"Events.OEV", false, true},
        {"Events.oEv", false, true},
        {"Events.oev~", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsChannelFileName(c.name), c.channel) << c.name;
        EXPECT_EQ(IsEventFileName(c.name), c.event) << c.name;
    }
}

// A name alone does not make a channel file: it must be a regular file, reached through a link
// or not.
TEST(RecordingFiles, ChannelFileIsARegularFile)
{
    TempDir dir;
    Touch(dir.path / "CSC1.ocs");
    Touch(dir.path / "CSC2.OCS");
    std::filesystem::create_directory(dir.path / "CSC3.ocs");
    std::filesystem::create_symlink(dir.path / "CSC1.ocs", dir.path / "CSC4.ocs");
    std::filesystem::create_symlink(dir.path / "gone", dir.path / "CSC5.ocs");
    const std::string d = dir.path.string();
    EXPECT_TRUE(IsChannelFile(d, "CSC1.ocs"));
    EXPECT_FALSE(IsChannelFile(d, "CSC2.OCS"));
    EXPECT_FALSE(IsChannelFile(d, "CSC3.ocs"));
    EXPECT_TRUE(IsChannelFile(d, "CSC4.ocs"));
    EXPECT_FALSE(IsChannelFile(d, "CSC5.ocs"));
    EXPECT_FALSE(IsChannelFile(d, "missing.ocs"));
    EXPECT_EQ(ChannelFilesIn(d), (std::vector<std::string>{"CSC1.ocs", "CSC4.ocs"}));
}
