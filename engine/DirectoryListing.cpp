#include "engine/DirectoryListing.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace {

char FoldAsciiToUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool ListingOrder(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(FoldAsciiToUpper(a[i]));
        const auto y = static_cast<unsigned char>(FoldAsciiToUpper(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool ListDirectory(const std::string& utf8Directory, std::vector<std::string>& names, int& errorNumber)
{
    names.clear();
    DIR* listing = opendir(utf8Directory.c_str());
    if (listing == nullptr) {
        errorNumber = errno;
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    errorNumber = errno;  // readdir ends with errno untouched unless it failed
    closedir(listing);
    std::sort(names.begin(), names.end(), ListingOrder);
    return errorNumber == 0;
}
