#include "synth/NewFile.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace VareloSynth {
namespace {

std::string Reason(int errorNumber)
{
    return std::generic_category().message(errorNumber);
}

}  // namespace

NewFile::~NewFile()
{
    if (fd >= 0)
        (void)close(fd);
}

bool NewFile::Create(const std::filesystem::path& filePath, std::string& error)
{
    path = filePath;
    // O_EXCL makes the test for an existing file and the creation one step.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0)
        return true;
    if (errno == EEXIST)
        error = "Refusing to overwrite existing file " + path.string() + ".";
    else
        error = "Unable to create file " + path.string() + ": " + Reason(errno);
    return false;
}

bool NewFile::Write(std::span<const unsigned char> bytes, std::string& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = "Unable to write file " + path.string() + ": " + Reason(written < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool NewFile::Close(std::string& error)
{
    const int closing = fd;
    fd = -1;
    if (close(closing) != 0) {
        error = "Unable to close file " + path.string() + ": " + Reason(errno);
        return false;
    }
    return true;
}

bool WriteNewFile(const std::filesystem::path& filePath, std::span<const unsigned char> bytes, std::string& error)
{
    NewFile file;
    return file.Create(filePath, error) && file.Write(bytes, error) && file.Close(error);
}

}  // namespace VareloSynth
