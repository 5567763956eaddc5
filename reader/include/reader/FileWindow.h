#pragma once

#include <cstddef>
#include <cstdint>

namespace Velquor {

// One stretch of an open file, read into a buffer of the window's own. Sliding the window along
// a file reuses the buffer, so it costs one read and no allocation; Release gives the buffer
// back. Reading (rather than mapping the file) keeps a file that shrinks or fails under the
// reader an error to report instead of a fatal signal, and keeps the bytes in the processor's
// cache between the read and their use. Not copyable.
class FileWindow {
public:
    FileWindow() = default;
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Reads `byteCount` bytes from `fileOffset` of `fd`, replacing what the window held. false
    // when the buffer cannot grow (errorNumber ENOMEM), the read fails (its errno) or the file
    // ends before the stretch does (errorNumber 0); the window is then empty.
    bool Load(int fd, uint64_t fileOffset, uint64_t byteCount, int& errorNumber);
    // Empties the window; the buffer is kept for the next Load.
    void Clear();
    // Empties the window and frees the buffer.
    void Release();

    bool IsLoaded() const { return loaded; }
    uint64_t Offset() const { return offset; }  // bytes from the start of the file
    uint64_t End() const { return offset + length; }
    // `fileOffset` must lie inside the window.
    const unsigned char* At(uint64_t fileOffset) const { return buffer + (fileOffset - offset); }
    // The memory held, loaded or not.
    uint64_t BufferBytes() const { return capacity; }

    // Reads exactly `count` bytes at `offset`, riding over interrupted and short reads; false as
    // for Load.
    static bool ReadAt(int fd, uint64_t offset, unsigned char* into, size_t count, int& errorNumber);
    static uint64_t PageBytes();

private:
    unsigned char* buffer = nullptr;
    uint64_t capacity = 0;
    bool loaded = false;
    uint64_t offset = 0;
    uint64_t length = 0;
};

}  // namespace Velquor
