#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace VareloSynth {

// A file that this object creates and writes; it never opens a file that exists already, so
// nothing is ever overwritten. Callers hand it large blocks. Not copyable; the destructor closes
// a file still open without reporting.
class NewFile {
public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Each returns false with `error` naming the file and the reason.
    bool Create(const std::filesystem::path& filePath, std::string& error);
    bool Write(std::span<const unsigned char> bytes, std::string& error);
    bool Close(std::string& error);

private:
    std::filesystem::path path;
    int fd = -1;
};

// Creates `filePath`, which must not exist, holding `bytes`.
bool WriteNewFile(const std::filesystem::path& filePath, std::span<const unsigned char> bytes, std::string& error);

}  // namespace VareloSynth
