#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "edf/StreamSettings.h"

// What the fuzz targets share: reading the fuzz input field by field, the process's scratch
// directory, and the packed form of an acquisition file that keeps its 16,384-byte header block
// out of the fuzz input.
namespace FuzzSupport {

// Reads the fuzz input front to back. Reads past the end give zeros and empty spans, so that every
// input decodes into something.
class InputCursor {
public:
    InputCursor(const uint8_t* data, size_t size) : data(data), size(size) {}

    size_t Left() const { return size - position; }
    bool Empty() const { return position == size; }

    uint8_t Byte();
    uint16_t Le16();
    uint32_t Le32();
    uint64_t Le64();
    // Up to `count` bytes, fewer at the end of the input.
    std::span<const uint8_t> Bytes(size_t count);
    // A piece announced by a 16-bit little-endian length, cut at the end of the input.
    std::span<const uint8_t> LengthPrefixed();
    std::span<const uint8_t> Rest();

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// A directory of this process alone, under $TMPDIR (or /tmp), created on first use and removed
// with everything in it when the process exits normally. Aborts when it cannot be created: a
// target that cannot write its files tests nothing.
const std::filesystem::path& ScratchDirectory();

// false when the file cannot be written in full.
bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);
// The whole file; empty when it cannot be read.
std::vector<unsigned char> ReadFile(const std::filesystem::path& path);

// Prints what went wrong on standard error and aborts, which libFuzzer reports as a crash with
// the input that caused it.
[[noreturn]] void Finding(std::string_view what);
[[noreturn]] void Finding(std::string_view what, std::string_view detail);

// The packed form of an acquisition file: its header text, a NUL, then its record bytes.
// Expanding it pads the header text with NUL bytes (or, with `fillHeaderBlock`, with blanks, so
// that the text runs to the end of the block without a NUL) to the 16,384-byte header block and
// appends the record bytes. A header text longer than the block is cut at the block's end and the
// rest becomes record bytes; without a NUL the whole input is header text.
std::vector<uint8_t> ExpandAcquisitionFile(std::span<const uint8_t> packed, bool fillHeaderBlock);
std::vector<uint8_t> PackAcquisitionFile(std::string_view headerText, std::span<const uint8_t> records);

constexpr size_t headerBlockBytes = 16384;

// The output streams of the targets that write EDF files: buffers that a few hundred samples
// fill, handed to the writing thread from the first one on, so that every file written runs the
// thread, its hand-over of full buffers and (from 2 KiB on) its waits for a free one. Buffers of
// 64 bytes reach no more code and cost a third more time per input.
constexpr StreamSettings smallStreams{512, 0};

// Sets the small streams for every EDF file the target writes from here on (its initialisation).
void UseSmallStreams();

}  // namespace FuzzSupport
