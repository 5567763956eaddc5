#pragma once

#include <string>

// An output file written under a hidden name beside its final one and given the final name only
// once it is complete, so that nothing under the final name is ever unfinished: a conversion that
// fails, is stopped or is killed leaves at most a file whose name a "*.edf" pattern does not take.
//
// The unfinished name is derived from the final one: "." + final name + ".partial", in the same
// directory (shortened, with a hash of the whole name, when that would be longer than the file
// system allows). The file is reserved by an exclusive flock held for as long as this object holds
// it. The lock dies with its process: the unfinished file of a run that was killed is taken over
// by the next run that wants the same final name, while a run that is alive keeps it to itself, so
// that concurrent runs never share a final name. Renames never replace a file.
class UnfinishedFile {
public:
    enum class Reservation { Reserved, Taken, Failed };

    UnfinishedFile() = default;
    ~UnfinishedFile();  // lets go of the lock; the file stays as it is
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

    // Reserves the final name `wanted` (UTF-8) and holds its unfinished file, open for reading and
    // writing, locked and empty. Taken when a file system object other than a directory lies under
    // the final name, or a run that is alive holds its unfinished file; Failed, with the system's
    // error number, when the unfinished file cannot be made (EISDIR for a directory under the
    // final name).
    Reservation Reserve(const std::string& wanted, int& errorNumber);
    int Descriptor() const { return fd; }
    const std::string& Path() const { return path; }  // the unfinished name
    const std::string& FinalPath() const { return finalPath; }
    // The reserved name's unfinished file was left by an earlier run (killed) and taken over.
    bool TookOver() const { return tookOver; }

    // Gives `complete` (the unfinished file, or a complete copy of it written beside it) the final
    // name and lets go; the unfinished file goes when it is not the one named. false with the
    // system's error number (EEXIST: a file took the final name meanwhile); `complete` then stays
    // as it is, and the reservation with it.
    bool Name(const std::string& complete, int& errorNumber);
    // Lets go, the file kept under its unfinished name: `complete` is moved there first when it is
    // another file.
    void Leave(const std::string& complete);
    // Removes the unfinished file and lets go.
    void Discard();

    static std::string UnfinishedName(const std::string& finalPath);
    // Whether a run that is alive holds the unfinished file of finalPath.
    static bool IsHeldByLiveRun(const std::string& finalPath);
    // Renames without replacing anything: false with EEXIST when `to` exists.
    static bool RenameWithoutReplacing(const std::string& from, const std::string& to, int& errorNumber);

private:
    enum class Attempt { Done, Taken, Failed, Again };
    Attempt CreateLocked(int& errorNumber);
    Attempt TakeOver(int& errorNumber);
    void Release();

    int fd = -1;
    std::string path;       // UTF-8, unfinished name
    std::string finalPath;  // UTF-8
    bool tookOver = false;
};
