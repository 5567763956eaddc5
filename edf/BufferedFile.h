#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A byte stream for writing, over a POSIX file descriptor with a buffer of its own and seeking.
// Bytes gather in the buffer and reach the file with pwrite(2) when the buffer is full, on Seek
// and on Flush. A failed write is therefore known only at a flush: it is remembered, the bytes
// that could not be written are dropped, and the next Flush reports it (and forgets it).
// Allocates with new (std::nothrow); throws nothing.
class BufferedFile {
public:
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzz builds fill the buffer after a few samples, so that short inputs reach the paths around
    // a full buffer (and a fuzz run does not map and unmap a large buffer for every file).
    static constexpr std::size_t bufferBytes = std::size_t{4} * 1024;
#else
    static constexpr std::size_t bufferBytes = std::size_t{256} * 1024;
#endif

    BufferedFile() = default;
    // Flushes and closes a file still open; a failure there is not reported.
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Allocates the buffer; false when memory is short. Needed once before Create.
    bool AllocateBuffer();
    // Creates the file at the UTF-8 path, which must not exist yet: an existing file is never
    // opened, so nothing that another program (or another run) wrote is truncated. A device or a
    // pipe under the name is written to. false with the system's error number (EEXIST when the
    // name is taken) when it cannot be created.
    bool Create(const char* path, int& errorNumber);
    // Creates a file of a free name in the directory of `path` (".varelo-" and random
    // characters), with the permissions of the open file `like`; tempPath receives its name.
    bool CreateTemporaryBeside(const char* path, const BufferedFile& like, std::string& tempPath);
    // Whether the stream writes a regular file (not a device or a pipe).
    bool IsRegularFile() const;
    bool IsOpen() const
    {
        return fd >= 0;
    }

    void Put(char byte);
    void Write(const void* bytes, std::size_t count);
    void PutSpaces(std::size_t count);
    // Room for `count` contiguous bytes (count <= bufferBytes) at the current position, for a
    // caller that converts straight into the buffer; Commit then takes the bytes filled in.
    unsigned char* Reserve(std::size_t count);
    void Commit(std::size_t count)
    {
        used += count;
    }

    // The offset at which the next byte goes.
    int64_t Position() const
    {
        return bufferOffset + static_cast<int64_t>(used);
    }
    // Writes out the buffer, then moves to `offset`; false when that write failed.
    bool Seek(int64_t offset);
    // Writes out the buffer; false when this or any write since the last Flush failed.
    bool Flush();
    // Reads `count` bytes at `offset` of what has been written (the buffer is written out first);
    // false when they cannot all be read.
    bool ReadAt(int64_t offset, void* into, std::size_t count);
    // Cuts the file to `size` bytes (after writing out the buffer); false on failure.
    bool Truncate(int64_t size);
    // Flushes and closes; false when either failed. The stream is closed afterwards in any case.
    bool Close();

private:
    bool WriteOut();  // the buffer to the file; clears it either way

    std::unique_ptr<unsigned char[]> buffer;
    std::size_t used = 0;      // bytes gathered in the buffer
    int64_t bufferOffset = 0;  // file offset of the buffer's first byte
    int fd = -1;
    bool failed = false;  // a write failed since the last Flush
};
