// Nothing that exists is overwritten: the generator, which writes recordings for the tests and
// scripts, creates new files only. (The converter's own output names: WriterTest.)
#include <gtest/gtest.h>

#include "synth/NewFile.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

}  // namespace

TEST(NothingOverwrittenTest, TheGeneratorWritesNewFilesOnly)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", Bytes("first"), error)) << error;
    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "CSC1.ocs", Bytes("second"), error));
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (dir.path / "CSC1.ocs").string() + ".");
    EXPECT_EQ(ReadFileBytes(dir.path / "CSC1.ocs"), Bytes("first"));
}
