#include "edf/BufferedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <unistd.h>

BufferedFile::~BufferedFile()
{
    (void)Close();  // a destructor reports nothing
}

bool BufferedFile::AllocateBuffer()
{
    if (!buffer)
        buffer.reset(new (std::nothrow) unsigned char[bufferBytes]);
    return buffer != nullptr;
}

bool BufferedFile::Create(const char* path)
{
    if (path == nullptr || !buffer || fd >= 0)
        return false;
    do {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    used = 0;
    bufferOffset = 0;
    failed = false;
    return fd >= 0;
}

void BufferedFile::Put(char byte)
{
    if (used == bufferBytes)
        failed |= !WriteOut();
    buffer[used++] = static_cast<unsigned char>(byte);
}

void BufferedFile::Write(const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (used == bufferBytes)
            failed |= !WriteOut();
        std::size_t part = std::min(count, bufferBytes - used);
        std::memcpy(buffer.get() + used, from, part);
        used += part;
        from += part;
        count -= part;
    }
}

void BufferedFile::PutSpaces(std::size_t count)
{
    while (count > 0) {
        if (used == bufferBytes)
            failed |= !WriteOut();
        std::size_t part = std::min(count, bufferBytes - used);
        std::memset(buffer.get() + used, ' ', part);
        used += part;
        count -= part;
    }
}

unsigned char* BufferedFile::Reserve(std::size_t count)
{
    if (bufferBytes - used < count)
        failed |= !WriteOut();
    return buffer.get() + used;
}

bool BufferedFile::Seek(int64_t offset)
{
    bool written = WriteOut();
    failed |= !written;
    bufferOffset = offset;
    return written;
}

bool BufferedFile::Flush()
{
    bool ok = WriteOut() && !failed;
    failed = false;
    return ok;
}

bool BufferedFile::Truncate(int64_t size)
{
    failed |= !WriteOut();
    return fd >= 0 && ftruncate(fd, size) == 0;
}

bool BufferedFile::Close()
{
    if (fd < 0)
        return false;
    bool ok = Flush();
    ok &= close(fd) == 0;
    fd = -1;
    used = 0;
    bufferOffset = 0;
    return ok;
}

bool BufferedFile::WriteOut()
{
    const unsigned char* from = buffer.get();
    std::size_t left = used;
    int64_t offset = bufferOffset;
    bool ok = fd >= 0 || left == 0;
    while (ok && left > 0) {
        ssize_t n = pwrite(fd, from, left, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        from += n;
        left -= static_cast<std::size_t>(n);
        offset += n;
    }
    // Bytes that could not be written are dropped; the position moves on as if they had been.
    bufferOffset += static_cast<int64_t>(used);
    used = 0;
    return ok;
}
