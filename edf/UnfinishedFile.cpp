#include "edf/UnfinishedFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* unfinishedSuffix = ".partial";
constexpr int reserveAttempts = 100;  // unfinished files that vanish while they are looked at

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string PrefixOf(const std::string& path)  // the directory with its slash, empty for none
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Asked for every name tried, thousands of times in a directory of many segments: the answer for
// the last directory is kept.
size_t LongestName(const std::string& directory)
{
    thread_local std::string askedFor;
    thread_local size_t longest = 0;
    if (longest == 0 || directory != askedFor) {
        const long limit = pathconf(directory.c_str(), _PC_NAME_MAX);
        askedFor = directory;
        longest = static_cast<size_t>(limit > 0 ? limit : NAME_MAX);
    }
    return longest;
}

// 64-bit FNV-1a: names that are shortened alike still differ in their hash.
uint64_t NameHash(const std::string& name)
{
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

bool SameFile(int fd, const std::string& path)
{
    struct stat opened {};
    struct stat named {};
    return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev
           && opened.st_ino == named.st_ino;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int fd = -1;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A new file beside `path`, already locked, given the name `path` only when nothing has it: so
// that no other run ever sees the file unlocked. An unnamed file (O_TMPFILE) where the file
// system has them, else one of a random name, linked and unlinked again.
int CreateLockedAt(const std::string& path, int& errorNumber)
{
    const std::string directory = DirectoryOf(path);
    int fd = OpenRetrying(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (flock(fd, LOCK_EX | LOCK_NB) == 0
            && linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return fd;
        errorNumber = errno;
        (void)close(fd);
        if (errorNumber == EEXIST)
            return -1;
    }
    std::string random = PrefixOf(path) + ".varelo-XXXXXX";
    fd = mkostemp(random.data(), O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        return -1;
    }
    (void)fchmod(fd, 0644);  // mkostemp makes 0600; the process's umask cannot be read safely here
    const bool linked = flock(fd, LOCK_EX | LOCK_NB) == 0 && link(random.c_str(), path.c_str()) == 0;
    errorNumber = linked ? 0 : errno;
    (void)unlink(random.c_str());
    if (linked)
        return fd;
    (void)close(fd);
    return -1;
}

}  // namespace

UnfinishedFile::~UnfinishedFile()
{
    Release();
}

std::string UnfinishedFile::UnfinishedName(const std::string& finalPath)
{
    const std::string base = BaseOf(finalPath);
    const size_t longest = LongestName(DirectoryOf(finalPath));
    std::string name = "." + base + unfinishedSuffix;
    if (name.size() > longest) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(NameHash(base)));
        const size_t kept =
            longest - 1 - std::char_traits<char>::length(hash) - std::char_traits<char>::length(unfinishedSuffix);
        name = "." + base.substr(0, kept) + hash + unfinishedSuffix;
    }
    return PrefixOf(finalPath) + name;
}

bool UnfinishedFile::IsHeldByLiveRun(const std::string& finalPath)
{
    const int probe = OpenRetrying(UnfinishedName(finalPath).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        return false;
    const bool held = flock(probe, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    (void)close(probe);
    return held;
}

UnfinishedFile::Reservation UnfinishedFile::Reserve(const std::string& wanted, int& errorNumber)
{
    Release();
    errorNumber = 0;
    finalPath = wanted;
    path = UnfinishedName(wanted);
    tookOver = false;
    for (int attempt = 0; attempt < reserveAttempts; ++attempt) {
        struct stat info {};
        if (lstat(finalPath.c_str(), &info) == 0) {
            errorNumber = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
            return S_ISDIR(info.st_mode) ? Reservation::Failed : Reservation::Taken;
        }
        Attempt result = CreateLocked(errorNumber);
        if (result == Attempt::Again)
            result = TakeOver(errorNumber);
        // The run that held the unfinished name may have given the file its final name between
        // the look above and the creation: then the name is taken after all.
        if (result == Attempt::Done && lstat(finalPath.c_str(), &info) == 0) {
            Discard();
            errorNumber = EEXIST;
            return Reservation::Taken;
        }
        if (result == Attempt::Done)
            return Reservation::Reserved;
        if (result == Attempt::Taken)
            return Reservation::Taken;
        if (result == Attempt::Failed)
            return Reservation::Failed;
    }
    errorNumber = EBUSY;
    return Reservation::Failed;
}

UnfinishedFile::Attempt UnfinishedFile::CreateLocked(int& errorNumber)
{
    fd = CreateLockedAt(path, errorNumber);
    if (fd >= 0)
        return Attempt::Done;
    return errorNumber == EEXIST ? Attempt::Again : Attempt::Failed;
}

// The unfinished file exists: it is taken over when no run holds it (its run was killed), and
// still names the file locked, and the final name is still free.
UnfinishedFile::Attempt UnfinishedFile::TakeOver(int& errorNumber)
{
    const int existing = OpenRetrying(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (existing < 0) {
        errorNumber = errno;
        return errorNumber == ENOENT ? Attempt::Again : Attempt::Taken;  // gone, or not a file to take
    }
    struct stat info {};
    if (fstat(existing, &info) != 0 || !S_ISREG(info.st_mode) || flock(existing, LOCK_EX | LOCK_NB) != 0) {
        (void)close(existing);
        return Attempt::Taken;
    }
    if (!SameFile(existing, path)) {  // named or removed while it was locked
        (void)close(existing);
        return Attempt::Again;
    }
    struct stat named {};
    if (lstat(finalPath.c_str(), &named) == 0 || ftruncate(existing, 0) != 0) {
        (void)close(existing);
        return Attempt::Taken;
    }
    (void)fcntl(existing, F_SETFL, fcntl(existing, F_GETFL) & ~O_NONBLOCK);
    fd = existing;
    tookOver = true;
    return Attempt::Done;
}

bool UnfinishedFile::Name(const std::string& complete, int& errorNumber)
{
    if (!RenameWithoutReplacing(complete, finalPath, errorNumber))
        return false;
    if (complete != path)
        (void)unlink(path.c_str());
    Release();
    return true;
}

void UnfinishedFile::Leave(const std::string& complete)
{
    if (!complete.empty() && complete != path)
        (void)std::rename(complete.c_str(), path.c_str());  // the lock still holds the name
    Release();
}

void UnfinishedFile::Discard()
{
    if (fd >= 0)
        (void)unlink(path.c_str());
    Release();
}

void UnfinishedFile::Release()
{
    if (fd >= 0)
        (void)close(fd);
    fd = -1;
}

bool UnfinishedFile::RenameWithoutReplacing(const std::string& from, const std::string& to, int& errorNumber)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    errorNumber = errno;
    if (errorNumber != EINVAL && errorNumber != ENOSYS && errorNumber != EOPNOTSUPP)
        return false;
    // a file system without the flag: a second link fails where a name exists
    if (link(from.c_str(), to.c_str()) != 0) {
        errorNumber = errno;
        return false;
    }
    (void)unlink(from.c_str());
    return true;
}
