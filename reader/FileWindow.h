#pragma once

#include <cstddef>
#include <cstdint>

namespace Velquor {

// A read-only memory mapping of one stretch of an open file. Not copyable; the destructor
// unmaps it.
class FileWindow {
public:
    FileWindow() = default;
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Maps `length` bytes from `offset` (a multiple of the page size) of `fd`, replacing what was
    // mapped before. false with `errorNumber` set when the system refuses.
    bool Map(int fd, uint64_t offset, uint64_t length, int& errorNumber);
    void Unmap();

    bool IsMapped() const { return base != nullptr; }
    uint64_t Offset() const { return offset; }  // bytes from the start of the file
    uint64_t Length() const { return length; }  // bytes
    uint64_t End() const { return offset + length; }
    // `fileOffset` must lie inside the window.
    const unsigned char* At(uint64_t fileOffset) const { return base + (fileOffset - offset); }

    static uint64_t PageBytes();

private:
    const unsigned char* base = nullptr;
    uint64_t offset = 0;
    uint64_t length = 0;
};

}  // namespace Velquor
