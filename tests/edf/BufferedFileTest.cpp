#include "edf/BufferedFile.h"

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/EdfParser.h"
#include "tests/support/TempDir.h"

class BufferedFileTest : public ::testing::Test {
protected:
    TempDir dir;
    BufferedFile file;
    std::string path = (dir.path / "out.bin").string();
};

TEST_F(BufferedFileTest, CreateNeedsBufferWritableDirectoryAndAFreeName)
{
    int error = 0;
    EXPECT_FALSE(file.Create(path.c_str(), error));  // no buffer yet
    ASSERT_TRUE(file.AllocateBuffer());
    EXPECT_FALSE(file.Create((dir.path / "missing" / "out.bin").string().c_str(), error));
    EXPECT_EQ(error, ENOENT);
    ASSERT_TRUE(file.Create(path.c_str(), error));
    file.Put('x');
    EXPECT_TRUE(file.Close());
    // an existing file is neither opened nor truncated
    EXPECT_FALSE(file.Create(path.c_str(), error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(ReadFileBytes(path), std::vector<unsigned char>{'x'});
}

TEST_F(BufferedFileTest, WritesMoreThanOneBufferInOrder)
{
    int error = 0;
    ASSERT_TRUE(file.AllocateBuffer());
    ASSERT_TRUE(file.Create(path.c_str(), error));
    std::vector<unsigned char> expected;
    for (std::size_t i = 0; i < BufferedFile::bufferBytes + 1000; ++i) {
        char byte = static_cast<char>(i * 7);
        file.Put(byte);
        expected.push_back(static_cast<unsigned char>(byte));
    }
    file.PutSpaces(BufferedFile::bufferBytes);
    expected.insert(expected.end(), BufferedFile::bufferBytes, ' ');
    unsigned char* room = file.Reserve(3);
    room[0] = 'a';
    room[1] = 'b';
    room[2] = 'c';
    file.Commit(3);
    file.Write("de", 2);
    expected.insert(expected.end(), {'a', 'b', 'c', 'd', 'e'});
    EXPECT_EQ(file.Position(), static_cast<int64_t>(expected.size()));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(BufferedFileTest, FailedWriteIsReportedByTheNextFlushOnly)
{
    if (!CanWriteDevFull())
        GTEST_SKIP() << "/dev/full cannot be opened for writing here";
    int error = 0;
    ASSERT_TRUE(file.AllocateBuffer());
    ASSERT_TRUE(file.Create("/dev/full", error));  // a device is written to as it is
    file.Write("abc", 3);
    EXPECT_FALSE(file.Flush());
    EXPECT_TRUE(file.Flush());                      // nothing left to write, the failure was reported
    file.PutSpaces(BufferedFile::bufferBytes + 1);  // fails inside, when the buffer fills
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.Flush());
    file.Put('x');
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(file.IsOpen());
}
