#pragma once

#include <string>

// Opening the files that the program writes beside the data (the log, the reports, the EDF+
// files and their temporary files) so that nothing found under their names can redirect or stop
// a run: a symbolic link is never followed, nothing but a regular file is ever written or read,
// and no open waits (a FIFO without a reader would block an ordinary open for ever). Every
// descriptor is close-on-exec and blocking for its reads and writes.
namespace OrvFiles {

// Why a file could not be opened or a directory not made.
struct Failure {
    // The system's error number; for an object that is not a regular file: ELOOP for a symbolic
    // link, EISDIR for a directory, ENXIO for anything else.
    int errorNumber = 0;
    // In words, without a final full stop: the system's own ("No space left on device") or, for
    // an object that is not a regular file, what it is ("it is a FIFO, not a regular file").
    std::wstring reason;
};

// What an open for writing does with a regular file that already has the name.
enum class Existing {
    Refuse,    // nothing is opened: EEXIST (the file is created exclusively)
    Truncate,  // emptied, once it is known to be a regular file
    Append,    // written at its end
};

// Opens or creates the regular file at the UTF-8 path for writing (readWrite: for reading too),
// with the permissions 0666 less the umask when it is created. -1 with `failure` when it cannot.
int OpenForWriting(const std::string& path, Existing existing, bool readWrite, Failure& failure);
// Opens an existing regular file for reading; -1 with `failure` when it cannot.
int OpenForReading(const std::string& path, Failure& failure);
// Creates a new regular file whose name is `pathTemplate` with its last six characters
// ("XXXXXX") replaced by a free choice of letters and digits, which pathTemplate receives; the
// permissions are 0600. -1 with `failure` when it cannot.
int CreateTemporary(std::string& pathTemplate, Failure& failure);

// Makes the directories of `below` (parts separated by "/") inside the existing directory
// `root`, each inside the one before, never through a symbolic link: a part that exists must be
// a real directory. root itself is taken as named. false with the path of the part that failed
// in `failedPath` and the reason in `failure`.
bool MakeDirectoriesBelow(const std::string& root, const std::string& below, std::string& failedPath, Failure& failure);

// "<path>: <reason>." the form in which an error names a file and what went wrong with it.
std::wstring Describe(const std::wstring& path, const Failure& failure);

}  // namespace OrvFiles
