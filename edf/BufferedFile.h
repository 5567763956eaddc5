#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "WriteBehind.h"
#include "edf/StreamSettings.h"

// A byte stream for writing, over a POSIX file descriptor, with seeking. Bytes gather in one of
// a few buffers; a full buffer goes to the file on a thread of its own (WriteBehind) while the
// next fills, so that filling and writing overlap and the file gets few, large writes. The
// buffers are small enough to stay in the processor's cache between their filling and their
// writing, and to cost few page faults per file (StreamSettings). A failed
// write is therefore known some time after the bytes were handed over: FailedAt tells the first
// offset that could not be written, and Sync waits until everything handed over has been written.
// Allocates with new (std::nothrow); throws nothing.
class BufferedFile {
public:
    BufferedFile() = default;
    // Writes out what is buffered and closes a file still open; a failure there is not reported.
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Allocates the buffers of the size the `wanted` settings ask for; false when memory is short
    // or the settings are not Valid. Needed once before Create; the settings hold from then on.
    bool AllocateBuffer(const StreamSettings& wanted = {});
    const StreamSettings& Settings() const { return settings; }
    std::size_t BufferBytes() const { return settings.bufferBytes; }
    // Creates the file at the UTF-8 path, which must not exist yet: nothing that exists under the
    // name is ever opened (a file another program or run wrote, a symbolic link, a device, a
    // pipe), so nothing is truncated or written through. false with the system's error number
    // when it cannot be created: EEXIST when the name is taken, EISDIR when a directory takes it.
    bool Create(const char* path, int& errorNumber);
    // Writes the file open at `descriptor` (a new, empty regular file), which the stream then owns.
    bool Adopt(int descriptor);
    // Creates a file of a free name in the directory of `path` (".varelo-" and random
    // characters), with the permissions of the open file `like`; tempPath receives its name.
    bool CreateTemporaryBeside(const char* path, const BufferedFile& like, std::string& tempPath);
    // Whether the stream writes a regular file (not a device or a pipe).
    bool IsRegularFile() const;
    bool IsOpen() const { return fd >= 0; }

    void Put(char byte);
    void Write(const void* bytes, std::size_t count);
    void PutSpaces(std::size_t count);
    // Room for `count` contiguous bytes (count <= BufferBytes()) at the current position, for a
    // caller that converts straight into the buffer; Commit then takes the bytes filled in.
    unsigned char* Reserve(std::size_t count);
    void Commit(std::size_t count) { used += count; }

    // The offset at which the next byte goes.
    int64_t Position() const { return bufferOffset + static_cast<int64_t>(used); }
    // Writes out what is buffered, then moves to `offset`; false when any write has failed.
    bool Seek(int64_t offset);
    // Writes out what is buffered and waits until it is written; false when any write has failed.
    bool Sync();
    // The first file offset that could not be written, -1 while every write succeeded. Does not
    // wait for the writes under way.
    int64_t FailedAt() { return writer.FailedAt(); }
    // The system's error number of that write; 0 while every write succeeded.
    int FailedErrorNumber() const { return writer.FailedErrorNumber(); }
    // Forgets a failure once the caller has dealt with it (after a Sync), so that the writes
    // that follow, into blocks the file already has, are judged on their own.
    void ForgetFailure() { writer.Reset(); }
    // Reads `count` bytes at `offset` of what has been written (after a Sync); false when they
    // cannot all be read.
    bool ReadAt(int64_t offset, void* into, std::size_t count);
    // Cuts the file to `size` bytes (after a Sync); false on failure.
    bool Truncate(int64_t size);
    // Syncs and closes; false when a write failed or the close did. The stream is closed
    // afterwards in any case.
    bool Close();

private:
    bool HasBuffers() const;
    void HandOver();  // the buffer filled so far to the writer; the next one fills then

    StreamSettings settings;
    std::unique_ptr<unsigned char[]> buffers[WriteBehind::depth];
    std::size_t active = 0;    // the buffer being filled
    std::size_t used = 0;      // bytes gathered in it
    int64_t bufferOffset = 0;  // file offset of its first byte
    int fd = -1;
    WriteBehind writer;
};
