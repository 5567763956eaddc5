#include "BidsFiles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "logging/SafeFile.h"
#include "logging/TextConversion.h"
#include "logging/WriteAll.h"

namespace {

std::string Reason()
{
    return std::generic_category().message(errno);
}

// Writes `text` to a new temporary file beside `path`; its name comes back in `temporary`.
bool WriteTemporary(const std::string& path, const std::string& text, std::string& temporary, std::string& error)
{
    temporary = path + ".XXXXXX";
    OrvFiles::Failure failure;
    const int fd = OrvFiles::CreateTemporary(temporary, failure);
    if (fd < 0) {
        error = "cannot write " + path + ": " + OrvText::WideToUtf8(failure.reason);
        return false;
    }
    (void)fchmod(fd, 0644);
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + Reason();
        (void)unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string TsvText(const TsvRows& rows)
{
    std::string text;
    for (const std::vector<std::string>& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            std::string cell = row[i];
            for (char& c : cell)
                if (c == '\t' || c == '\n' || c == '\r')
                    c = ' ';
            text += (i == 0 ? "" : "\t") + cell;
        }
        text += '\n';
    }
    return text;
}

bool ReadTsv(const std::string& path, TsvRows& rows, std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read " + path + ": " + Reason();
        return false;
    }
    text.clear();
    char buffer[65536];
    for (size_t count = std::fread(buffer, 1, sizeof buffer, file); count > 0;
         count = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path + ": " + Reason();
        return false;
    }
    rows.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> row(1);
        for (const char c : line) {
            if (c == '\t')
                row.emplace_back();
            else
                row.back() += c;
        }
        rows.push_back(row);
        start = end + 1;
    }
    return true;
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string& error)
{
    std::string temporary;
    if (!WriteTemporary(path, text, temporary, error))
        return false;
    if (!MoveWithoutReplacing(temporary, path, error)) {
        (void)unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool ReplaceFile(const std::string& path, const std::string& text, std::string& error)
{
    std::string temporary;
    if (!WriteTemporary(path, text, temporary, error))
        return false;
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + Reason();
        (void)unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to, std::string& error)
{
    // link() fails when `to` exists, whatever it is: nothing is replaced
    if (link(from.c_str(), to.c_str()) != 0) {
        error = errno == EEXIST ? to + " exists already" : "cannot create " + to + ": " + Reason();
        return false;
    }
    (void)unlink(from.c_str());  // the file is in place; a name left behind loses nothing
    return true;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}
