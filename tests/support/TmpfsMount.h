#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/statvfs.h>

#include "tests/support/TempDir.h"

// A small tmpfs mounted on a fresh directory for the life of the object: a real file system that
// runs full, for tests of what a program does when a write finds no space. Mounting needs root
// (CAP_SYS_ADMIN); where it is refused, IsMounted() is false and Reason() says why, for a
// GTEST_SKIP.
//
// A test writes its inputs first and then calls LeaveFreePages, which shrinks the file system to
// what it holds plus the pages given, so that only what comes after runs out of space.
class TmpfsMount {
public:
    TmpfsMount();
    // Unmounts (detaching lazily if a file is still open on it) and removes the directory.
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool IsMounted() const { return mounted; }
    const std::string& Reason() const { return reason; }

    // Limits the file system to its used blocks plus `freePages` pages; false with Reason() set
    // when the kernel refuses.
    bool LeaveFreePages(uint64_t freePages);
    // Limits the file system to the inodes it uses now: nothing more can be created in it.
    bool LeaveNoFreeInode();

    std::filesystem::path path;  // the mount point

private:
    bool Status(struct statvfs& status);
    bool Remount(const std::string& options);

    TempDir dir;
    bool mounted = false;
    std::string reason;
};
