#pragma once

#include <cstddef>
#include <cstdint>

// A 64-bit fingerprint of a sequence of bytes, taken in runs of any length: the same bytes give
// the same fingerprint however they are split. Made for comparing what a file holds with what was
// written to it, not against an adversary: the bytes go through eight independent lanes, 64
// bytes a stripe, each word mixed with a key that changes from stripe to stripe, so that a byte
// that differs, or stripes that trade places, change the fingerprint. The lanes need no carry
// from one word to the next, so the compiler turns them into vector multiplications and
// fingerprinting keeps pace with copying the bytes (on processors with AVX-512, eight lanes at a
// time).
class RecordFingerprint {
public:
    void Add(const unsigned char* bytes, std::size_t count);
    // The fingerprint of every byte added since the last Finish; starts over.
    uint64_t Finish();

private:
    static constexpr std::size_t lanes = 8;
    static constexpr std::size_t stripeBytes = lanes * 8;

    void AddStripes(const unsigned char* bytes, std::size_t stripes);

    uint64_t sums[lanes] = {};
    uint64_t stripesTaken = 0;
    uint64_t bytesTaken = 0;
    unsigned char pending[stripeBytes] = {};  // the start of a stripe not complete yet
    std::size_t pendingCount = 0;
};
