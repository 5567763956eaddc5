#include "tests/support/TmpfsMount.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Room for the inputs of a test; LeaveFreePages shrinks it afterwards.
constexpr uint64_t initialBytes = 64ull * 1024 * 1024;

}  // namespace

TmpfsMount::TmpfsMount()
{
    path = dir.path / "disk";
    std::error_code ignored;
    std::filesystem::create_directory(path, ignored);
    if (geteuid() != 0) {
        reason = "mounting a size-limited tmpfs needs root";
        return;
    }
    const std::string options = "size=" + std::to_string(initialBytes) + ",mode=0755";
    if (mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        reason = std::string("mount -t tmpfs is not permitted here: ") + std::strerror(errno);
        return;
    }
    mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    if (!mounted)
        return;
    // A file that a failed conversion left open keeps the file system busy: detach it, and the
    // kernel frees it once the last descriptor goes.
    if (umount2(path.c_str(), 0) != 0)
        (void)umount2(path.c_str(), MNT_DETACH);
}

bool TmpfsMount::LeaveFreePages(uint64_t freePages)
{
    struct statvfs status {};
    if (!Status(status))
        return false;
    const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const uint64_t used = (status.f_blocks - status.f_bfree) * status.f_frsize;
    // tmpfs refuses a size of 0 (it would mean "unlimited"): a full disk keeps one used page
    return Remount("size=" + std::to_string(std::max((used + page - 1) / page * page + freePages * page, page)));
}

bool TmpfsMount::LeaveNoFreeInode()
{
    struct statvfs status {};
    return Status(status) && Remount("nr_inodes=" + std::to_string(status.f_files - status.f_ffree));
}

bool TmpfsMount::Status(struct statvfs& status)
{
    if (statvfs(path.c_str(), &status) == 0)
        return true;
    reason = std::string("statvfs: ") + std::strerror(errno);
    return false;
}

bool TmpfsMount::Remount(const std::string& options)
{
    if (mount("tmpfs", path.c_str(), "tmpfs", MS_REMOUNT | MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        reason = "remount with " + options + " refused: " + std::strerror(errno);
        return false;
    }
    return true;
}
