// Which directories varelo-convert converts, and where their output goes.
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "RecordingDiscovery.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;

ConvertArguments Recursive(std::vector<std::string> roots, std::string outputDirectory = {})
{
    ConvertArguments arguments;
    arguments.recursive = true;
    arguments.directories = std::move(roots);
    arguments.outputDirectory = std::move(outputDirectory);
    return arguments;
}

std::vector<std::string> Directories(const Discovery& discovery)
{
    std::vector<std::string> directories;
    for (const Recording& recording : discovery.recordings)
        directories.push_back(recording.directory);
    return directories;
}

}  // namespace

class RecordingDiscoveryTest : public ::testing::Test {
protected:
    // A directory below the root with one file of that name in it.
    void Holding(const std::string& directory, const std::string& file)
    {
        fs::create_directories(root / directory);
        Touch(root / directory / file);
    }

    Discovery Discover(const ConvertArguments& arguments)
    {
        Discovery discovery;
        std::string error;
        EXPECT_TRUE(DiscoverRecordings(arguments, discovery, error)) << error;
        return discovery;
    }

    TempDir dir;
    fs::path root = dir.path / "root";
};

TEST_F(RecordingDiscoveryTest, RecordingIsADirectoryHoldingAChannelFileInSmallLetters)
{
    struct Case {
        const char* file;
        bool recording;
    };
    const std::vector<Case> cases = {
        {"CSC1.ocs", true}, {"CSC1.OCS", false},     {"CSC1.Ocs", false},   {"x.ocs.OCS", true},
        {"ocs", false},     {"CSC1.ocs.bak", false}, {"Events.oev", false}, {".ocs", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove_all(root);
        Holding("rec", c.file);
        const Discovery discovery = Discover(Recursive({root.string()}));
        EXPECT_EQ(Directories(discovery),
                  c.recording ? std::vector<std::string>{(root / "rec").string()} : std::vector<std::string>{});
        EXPECT_TRUE(discovery.problems.empty());
    }
}

TEST_F(RecordingDiscoveryTest, NestedRecordingsComeDepthFirstInListingOrder)
{
    Holding("b", "CSC1.ocs");
    Holding("b/inner", "CSC1.ocs");
    Holding("a/deep/deeper", "CSC1.ocs");
    Holding("C", "CSC1.ocs");
    Touch(root / "CSC9.ocs");  // the root is a recording of its own
    const std::string r = root.string();
    EXPECT_EQ(Directories(Discover(Recursive({r + "//"}))),
              (std::vector<std::string>{r, r + "/a/deep/deeper", r + "/b", r + "/b/inner", r + "/C"}));
}

TEST_F(RecordingDiscoveryTest, LinksToDirectoriesAreNotFollowedButLinksToChannelFilesCount)
{
    Holding("real", "CSC1.ocs");
    fs::create_directory_symlink(root / "real", root / "linked");
    fs::create_directory_symlink(root, root / "real" / "loop");
    fs::create_directories(root / "linkedfile");
    fs::create_symlink(root / "real" / "CSC1.ocs", root / "linkedfile" / "CSC1.ocs");
    fs::create_directories(root / "directoryonly" / "CSC1.ocs");
    EXPECT_EQ(Directories(Discover(Recursive({root.string()}))),
              (std::vector<std::string>{(root / "linkedfile").string(), (root / "real").string()}));
    // a root that is a link is no directory to search
    Discovery discovery = Discover(Recursive({(root / "linked").string()}));
    EXPECT_TRUE(discovery.recordings.empty());
    EXPECT_EQ(discovery.problems, std::vector<std::string>{(root / "linked").string() + ": not a directory"});
}

TEST_F(RecordingDiscoveryTest, UnreadableDirectoryIsAProblemAndTheRestIsStillFound)
{
    Holding("open", "CSC1.ocs");
    Holding("closed/inside", "CSC1.ocs");
    fs::permissions(dir.path, fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(root, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(root / "open", fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(root / "closed", fs::perms::owner_all);
    // Permissions do not bind root: the search runs as nobody, in a process of its own.
    const std::vector<std::string> expected = {
        (root / "open").string(), "cannot read directory " + (root / "closed").string() + ": Permission denied"};
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(2);
        Discovery discovery;
        std::string error;
        (void)DiscoverRecordings(Recursive({root.string()}), discovery, error);
        std::vector<std::string> found = Directories(discovery);
        found.insert(found.end(), discovery.problems.begin(), discovery.problems.end());
        _exit(found == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: other recordings or problems than expected; 2: cannot become nobody";
}

TEST_F(RecordingDiscoveryTest, OutputDirectoriesBelowTheOutputRoot)
{
    Holding("x/1", "CSC1.ocs");
    Holding("y", "CSC1.ocs");
    const std::string out = (dir.path / "out").string();
    const Discovery discovery = Discover(Recursive({root.string()}, out + "/"));
    ASSERT_EQ(discovery.recordings.size(), 2u);
    EXPECT_EQ(discovery.recordings[0].outputDirectory, out + "/x/1");
    EXPECT_EQ(discovery.recordings[1].outputDirectory, out + "/y");
    EXPECT_EQ(OutputDirectoryOf(discovery.recordings[1]), out + "/y");

    ConvertArguments plain;
    plain.directories = {(root / "y").string() + "/"};
    const Discovery beside = Discover(plain);
    ASSERT_EQ(beside.recordings.size(), 1u);
    EXPECT_EQ(beside.recordings[0].outputDirectory, "");
    EXPECT_EQ(OutputDirectoryOf(beside.recordings[0]), (root / "y").string());
    plain.outputDirectory = out;
    EXPECT_EQ(Discover(plain).recordings[0].outputDirectory, out);  // one recording: the root itself
}

TEST_F(RecordingDiscoveryTest, TwoRecordingsOfOneNameCannotShareAnOutputDirectory)
{
    Holding("a/rec", "CSC1.ocs");
    Holding("b/rec", "CSC1.ocs");
    ConvertArguments arguments;
    arguments.directories = {(root / "a" / "rec").string(), (root / "b" / "rec").string()};
    arguments.outputDirectory = (dir.path / "out").string();
    Discovery discovery;
    std::string error;
    EXPECT_FALSE(DiscoverRecordings(arguments, discovery, error));
    EXPECT_EQ(error, "the recordings " + arguments.directories[0] + " and " + arguments.directories[1]
                         + " would share the output directory " + arguments.outputDirectory + "/rec");
}

TEST(WithoutTrailingSlashesTest, KeepsTheRootAndEveryOtherCharacter)
{
    EXPECT_EQ(WithoutTrailingSlashes("/data/rec///"), "/data/rec");
    EXPECT_EQ(WithoutTrailingSlashes("/data/rec."), "/data/rec.");
    EXPECT_EQ(WithoutTrailingSlashes("///"), "/");
    EXPECT_EQ(WithoutTrailingSlashes(""), "");
}

TEST_F(RecordingDiscoveryTest, BidsPatternGivesEachRecordingItsEntitiesAndStagingDirectory)
{
    Holding("site/sub-01/ses-A", "CSC1.ocs");
    Holding("site/sub-01/ses-B", "CSC1.ocs");
    Holding("site/notes", "CSC1.ocs");          // does not match: reported, not converted
    Holding("site/sub-0_2/ses-A", "CSC1.ocs");  // a value that is no label
    fs::create_directories(dir.path / "ds/sourcedata/varelo/sub-01_ses-A_task-rest");  // an earlier conversion's
    ConvertArguments arguments = Recursive({root.string()});
    arguments.bids.root = (dir.path / "ds").string();
    arguments.bids.entities.task = "rest";
    arguments.bids.pattern = "sub-{subject}/ses-{session}";
    const Discovery discovery = Discover(arguments);
    ASSERT_EQ(discovery.recordings.size(), 2u);
    EXPECT_EQ(discovery.recordings[0].bids.session, "A");
    EXPECT_EQ(discovery.recordings[0].outputDirectory,
              arguments.bids.root + "/sourcedata/varelo/sub-01_ses-A_task-rest_2");
    EXPECT_EQ(discovery.recordings[1].bids.subject, "01");
    EXPECT_EQ(discovery.recordings[1].outputDirectory,
              arguments.bids.root + "/sourcedata/varelo/sub-01_ses-B_task-rest");
    ASSERT_EQ(discovery.problems.size(), 2u);
    EXPECT_EQ(discovery.problems[0], (root / "site/notes").string()
                                         + ": its path site/notes does not match the pattern "
                                           "sub-{subject}/ses-{session}");
    EXPECT_EQ(discovery.problems[1], (root / "site/sub-0_2/ses-A").string()
                                         + ": \"0_2\" is not a BIDS label (letters and digits only) for {subject}");

    arguments.bids.pattern = "ses-{session}";  // both sessions A of subject 01: one name for two recordings
    arguments.bids.entities.subject = "01";
    Discovery clash;
    std::string error;
    EXPECT_FALSE(DiscoverRecordings(arguments, clash, error));
    EXPECT_NE(error.find("would both be sub-01_ses-A_task-rest"), std::string::npos) << error;
}
