#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path;
};

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::vector<unsigned char>& bytes);
void Touch(const std::filesystem::path& file);
// The lines of a file that are not empty.
std::vector<std::string> NonEmptyLines(const std::filesystem::path& file);
