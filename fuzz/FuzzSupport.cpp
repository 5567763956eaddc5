#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "edf/EdfFileEngine.h"

namespace FuzzSupport {
namespace {

std::filesystem::path scratch;

void RemoveScratchDirectory()
{
    std::error_code ignored;
    if (!scratch.empty())
        std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

uint8_t InputCursor::Byte()
{
    return position < size ? data[position++] : 0;
}

uint16_t InputCursor::Le16()
{
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
}

uint32_t InputCursor::Le32()
{
    const uint32_t low = Le16();
    return low | (static_cast<uint32_t>(Le16()) << 16);
}

uint64_t InputCursor::Le64()
{
    const uint64_t low = Le32();
    return low | (static_cast<uint64_t>(Le32()) << 32);
}

std::span<const uint8_t> InputCursor::Bytes(size_t count)
{
    const size_t taken = std::min(count, Left());
    const std::span<const uint8_t> bytes(data + position, taken);
    position += taken;
    return bytes;
}

std::span<const uint8_t> InputCursor::LengthPrefixed()
{
    return Bytes(Le16());
}

std::span<const uint8_t> InputCursor::Rest()
{
    return Bytes(Left());
}

const std::filesystem::path& ScratchDirectory()
{
    if (!scratch.empty())
        return scratch;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/varelo-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        Finding("cannot create the scratch directory", pattern);
    scratch = pattern;
    std::atexit(RemoveScratchDirectory);
    return scratch;
}

bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    return close(fd) == 0 && done == bytes.size();
}

std::vector<unsigned char> ReadFile(const std::filesystem::path& path)
{
    std::vector<unsigned char> bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    struct stat status {};
    if (fstat(fd, &status) == 0 && status.st_size > 0) {
        bytes.resize(static_cast<size_t>(status.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        bytes.resize(done);
    }
    (void)close(fd);
    return bytes;
}

void Finding(std::string_view what)
{
    std::fprintf(stderr, "==FINDING== %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

void Finding(std::string_view what, std::string_view detail)
{
    std::fprintf(stderr, "==FINDING== %.*s: %.*s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

std::vector<uint8_t> ExpandAcquisitionFile(std::span<const uint8_t> packed, bool fillHeaderBlock)
{
    const auto nul = std::find(packed.begin(), packed.end(), uint8_t{0});
    size_t textBytes = static_cast<size_t>(nul - packed.begin());
    size_t recordsFrom = nul == packed.end() ? packed.size() : textBytes + 1;
    if (textBytes > headerBlockBytes) {
        textBytes = headerBlockBytes;
        recordsFrom = headerBlockBytes;
    }
    std::vector<uint8_t> file(headerBlockBytes, fillHeaderBlock ? uint8_t{' '} : uint8_t{0});
    std::copy_n(packed.begin(), textBytes, file.begin());
    file.insert(file.end(), packed.begin() + static_cast<std::ptrdiff_t>(recordsFrom), packed.end());
    return file;
}

std::vector<uint8_t> PackAcquisitionFile(std::string_view headerText, std::span<const uint8_t> records)
{
    std::vector<uint8_t> packed(headerText.begin(), headerText.end());
    packed.push_back(0);
    packed.insert(packed.end(), records.begin(), records.end());
    return packed;
}

void UseSmallStreams()
{
    if (EdfSetStreamSettings(smallStreams) != EdfOk)
        Finding("the EDF file engine refused the small streams");
}

}  // namespace FuzzSupport
