#include "logging/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "logging/FileErrors.h"
#include "logging/TextConversion.h"

namespace OrvFiles {

namespace {

Failure SystemFailure(int errorNumber)
{
    return {errorNumber, OrvText::SystemReason(errorNumber)};
}

// The failure of finding `mode` where a regular file (or, with wantDirectory, a directory)
// should be.
Failure WrongKind(mode_t mode, bool wantDirectory)
{
    const wchar_t* const wanted = wantDirectory ? L"a directory" : L"a regular file";
    if (S_ISLNK(mode))
        return {ELOOP, L"it is a symbolic link, which is not followed"};
    if (S_ISDIR(mode))
        return {EISDIR, std::wstring(L"it is a directory, not ") + wanted};
    const wchar_t* const kind = S_ISFIFO(mode)                   ? L"a FIFO"
                                : S_ISSOCK(mode)                 ? L"a socket"
                                : S_ISCHR(mode) || S_ISBLK(mode) ? L"a device"
                                                                 : L"a regular file";
    return {wantDirectory ? ENOTDIR : ENXIO, std::wstring(L"it is ") + kind + L", not " + wanted};
}

// The failure of an open: when something that is not a regular file lies under the name (the
// open refused a link, or a FIFO without a reader), what it is says more than the system's
// number does.
Failure OpenFailure(const std::string& path, int errorNumber)
{
    struct stat status {};
    if (errorNumber != EEXIST && lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return WrongKind(status.st_mode, false);
    return SystemFailure(errorNumber);
}

int OpenUninterrupted(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Keeps fd when it holds a regular file, then makes its reads and writes wait again; closes it
// and returns -1 otherwise.
int KeepRegular(int fd, Failure& failure)
{
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        failure = SystemFailure(errno);
        (void)close(fd);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        failure = WrongKind(status.st_mode, false);
        (void)close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        failure = SystemFailure(errno);
        (void)close(fd);
        return -1;
    }
    return fd;
}

// A file opened non-blocking and without following a link in the last part of its path.
int OpenChecked(const std::string& path, int flags, Failure& failure)
{
    const int fd = OpenUninterrupted(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = OpenFailure(path, errno);
        return -1;
    }
    return KeepRegular(fd, failure);
}

}  // namespace

int OpenForWriting(const std::string& path, Existing existing, bool readWrite, Failure& failure)
{
    int flags = (readWrite ? O_RDWR : O_WRONLY) | O_CREAT;
    if (existing == Existing::Refuse)
        flags |= O_EXCL;
    else if (existing == Existing::Append)
        flags |= O_APPEND;
    // No O_TRUNC: a device under the name must not be asked to truncate before it is refused.
    const int fd = OpenChecked(path, flags, failure);
    if (fd >= 0 && existing == Existing::Truncate && ftruncate(fd, 0) != 0) {
        failure = SystemFailure(errno);
        (void)close(fd);
        return -1;
    }
    return fd;
}

int OpenForReading(const std::string& path, Failure& failure)
{
    return OpenChecked(path, O_RDONLY, failure);
}

int CreateTemporary(std::string& pathTemplate, Failure& failure)
{
    // mkostemp creates exclusively (O_EXCL), which follows no link and opens nothing that exists.
    const int fd = mkostemp(pathTemplate.data(), O_CLOEXEC);
    if (fd < 0) {
        failure = SystemFailure(errno);
        return -1;
    }
    return KeepRegular(fd, failure);
}

bool MakeDirectoriesBelow(const std::string& root, const std::string& below, std::string& failedPath, Failure& failure)
{
    failedPath = root;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        failure = SystemFailure(errno);
        return false;
    }
    size_t start = 0;
    while (start <= below.size()) {
        const size_t end = std::min(below.find('/', start), below.size());
        const std::string part = below.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        failedPath += "/" + part;
        if (mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
            failure = SystemFailure(errno);
            (void)close(fd);
            return false;
        }
        const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat status {};
        if (next < 0 && (errno == ELOOP || errno == ENOTDIR)
            && fstatat(fd, part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            failure = WrongKind(status.st_mode, true);
        else if (next < 0)
            failure = SystemFailure(errno);
        (void)close(fd);
        if (next < 0)
            return false;
        fd = next;
    }
    (void)close(fd);
    return true;
}

std::wstring Describe(const std::wstring& path, const Failure& failure)
{
    return OrvText::FileErrorText(path, failure.reason);
}

}  // namespace OrvFiles
