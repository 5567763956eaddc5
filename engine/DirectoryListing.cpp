#include "engine/DirectoryListing.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>

#include "logging/AsciiCase.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The end of the run of digits that starts at `begin`.
size_t DigitsEnd(const std::string& name, size_t begin)
{
    while (begin < name.size() && IsDigit(name[begin]))
        ++begin;
    return begin;
}

// -1, 0 or 1 as the number in a[i, iEnd) is smaller than, equal to or larger than the one in
// b[j, jEnd), however many digits they have: without leading zeros, the longer is the larger.
int CompareNumbers(const std::string& a, size_t i, size_t iEnd, const std::string& b, size_t j, size_t jEnd)
{
    while (i < iEnd && a[i] == '0')
        ++i;
    while (j < jEnd && b[j] == '0')
        ++j;
    if (iEnd - i != jEnd - j)
        return iEnd - i < jEnd - j ? -1 : 1;
    const int digits = a.compare(i, iEnd - i, b, j, jEnd - j);
    return (digits > 0) - (digits < 0);
}

}  // namespace

bool ListingOrder(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(OrvText::FoldAsciiToUpper(a[i]));
        const auto y = static_cast<unsigned char>(OrvText::FoldAsciiToUpper(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool NaturalOrder(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const size_t iEnd = DigitsEnd(a, i);
            const size_t jEnd = DigitsEnd(b, j);
            if (const int order = CompareNumbers(a, i, iEnd, b, j, jEnd); order != 0)
                return order < 0;
            i = iEnd;
            j = jEnd;
        } else if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        } else {
            ++i;
            ++j;
        }
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();  // the name that ended first comes first
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
