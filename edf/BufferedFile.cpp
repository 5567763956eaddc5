#include "BufferedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

#include "logging/FreedMemory.h"
#include "logging/SafeFile.h"

BufferedFile::~BufferedFile()
{
    (void)Close();  // a destructor reports nothing
}

bool BufferedFile::AllocateBuffer(const StreamSettings& wanted)
{
    if (!wanted.Valid() || (HasBuffers() && wanted.bufferBytes != settings.bufferBytes))
        return false;
    settings = wanted;
    writer.SetChunksWithoutThread(settings.chunksWithoutThread);
    for (auto& buffer : buffers) {
        if (!buffer) {
            buffer.reset(new (std::nothrow) unsigned char[settings.bufferBytes]);
            OrvSystem::PopulatePages(buffer.get(), settings.bufferBytes);
        }
    }
    return HasBuffers();
}

bool BufferedFile::HasBuffers() const
{
    return std::all_of(std::begin(buffers), std::end(buffers), [](const auto& buffer) { return buffer != nullptr; });
}

bool BufferedFile::Create(const char* path, int& errorNumber)
{
    if (path == nullptr || !HasBuffers() || fd >= 0) {
        errorNumber = EINVAL;
        return false;
    }
    // Read-write: the file engine reads its records back when it rewrites a file at close.
    OrvFiles::Failure failure;
    fd = OrvFiles::OpenForWriting(path, OrvFiles::Existing::Refuse, true, failure);
    errorNumber = fd < 0 ? failure.errorNumber : 0;
    struct stat status {};
    if (errorNumber == EEXIST && lstat(path, &status) == 0 && S_ISDIR(status.st_mode))
        errorNumber = EISDIR;  // no name to move on from: no file can be made there
    used = 0;
    bufferOffset = 0;
    writer.Reset();
    return fd >= 0;
}

bool BufferedFile::Adopt(int descriptor)
{
    if (descriptor < 0 || !HasBuffers() || fd >= 0)
        return false;
    fd = descriptor;
    used = 0;
    bufferOffset = 0;
    writer.Reset();
    return true;
}

bool BufferedFile::CreateTemporaryBeside(const char* path, const BufferedFile& like, std::string& tempPath)
{
    struct stat status {};
    if (path == nullptr || !HasBuffers() || fd >= 0 || like.fd < 0 || fstat(like.fd, &status) != 0)
        return false;
    // A short name of its own: the path's name may already be as long as the file system allows.
    const std::string target = path;
    const size_t slash = target.rfind('/');
    tempPath = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".varelo-XXXXXX";
    OrvFiles::Failure failure;
    fd = OrvFiles::CreateTemporary(tempPath, failure);
    if (fd < 0)
        return false;
    used = 0;
    bufferOffset = 0;
    writer.Reset();
    if (fchmod(fd, status.st_mode & 07777) != 0) {
        (void)Close();
        (void)unlink(tempPath.c_str());
        return false;
    }
    return true;
}

bool BufferedFile::IsRegularFile() const
{
    struct stat status {};
    return fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool BufferedFile::ReadAt(int64_t offset, void* into, std::size_t count)
{
    (void)Sync();  // a failed write shows in what is read
    auto* to = static_cast<unsigned char*>(into);
    while (count > 0) {
        const ssize_t got = pread(fd, to, count, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        offset += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

void BufferedFile::Put(char byte)
{
    if (used == settings.bufferBytes)
        HandOver();
    buffers[active][used++] = static_cast<unsigned char>(byte);
}

void BufferedFile::Write(const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (used == settings.bufferBytes)
            HandOver();
        const std::size_t part = std::min(count, settings.bufferBytes - used);
        std::memcpy(buffers[active].get() + used, from, part);
        used += part;
        from += part;
        count -= part;
    }
}

void BufferedFile::PutSpaces(std::size_t count)
{
    while (count > 0) {
        if (used == settings.bufferBytes)
            HandOver();
        const std::size_t part = std::min(count, settings.bufferBytes - used);
        std::memset(buffers[active].get() + used, ' ', part);
        used += part;
        count -= part;
    }
}

unsigned char* BufferedFile::Reserve(std::size_t count)
{
    if (settings.bufferBytes - used < count)
        HandOver();
    return buffers[active].get() + used;
}

bool BufferedFile::Seek(int64_t offset)
{
    const bool written = Sync();
    bufferOffset = offset;
    return written;
}

bool BufferedFile::Sync()
{
    if (used > 0)
        HandOver();
    writer.Wait();
    return writer.FailedAt() < 0;
}

bool BufferedFile::Truncate(int64_t size)
{
    (void)Sync();
    return fd >= 0 && ftruncate(fd, size) == 0;
}

bool BufferedFile::Close()
{
    if (fd < 0)
        return false;
    bool ok = Sync();
    ok &= close(fd) == 0;
    fd = -1;
    used = 0;
    bufferOffset = 0;
    return ok;
}

void BufferedFile::HandOver()
{
    if (fd >= 0)
        writer.Hand(fd, buffers[active].get(), used, bufferOffset);
    // Hand returns once the writer has let go of the next buffer.
    bufferOffset += static_cast<int64_t>(used);
    used = 0;
    active = (active + 1) % WriteBehind::depth;
}
