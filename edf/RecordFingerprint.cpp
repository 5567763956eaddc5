#include "RecordFingerprint.h"

#include <algorithm>
#include <cstring>

#include "logging/VectorClones.h"

namespace {

// Odd 64-bit constants with well-spread bits (from the fractional parts of square roots).
constexpr uint64_t laneKeys[8] = {0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull,
                                  0xa54ff53a5f1d36f1ull, 0x510e527fade682d1ull, 0x9b05688c2b3e6c1full,
                                  0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};
constexpr uint64_t stripeStep = 0x9e3779b97f4a7c15ull;  // changes every key from one stripe to the next
constexpr uint64_t finalMultiplier = 0xff51afd7ed558ccdull;

uint64_t Mix(uint64_t value)
{
    value ^= value >> 33;
    value *= finalMultiplier;
    value ^= value >> 33;
    return value;
}

}  // namespace

// Eight 64-bit lanes fill one AVX-512 register, which multiplies all of them at once.
VARELO_VECTOR_CLONES("arch=x86-64-v4")
void RecordFingerprint::AddStripes(const unsigned char* bytes, std::size_t stripes)
{
    // The sums work in a local copy: stores to the members could alias the bytes, which would keep
    // the compiler from holding the lanes in vector registers.
    uint64_t laneSums[lanes];
    std::memcpy(laneSums, sums, sizeof laneSums);
    uint64_t salt = stripesTaken * stripeStep;
    for (std::size_t s = 0; s < stripes; ++s, salt += stripeStep) {
        const unsigned char* stripe = bytes + s * stripeBytes;
        for (std::size_t j = 0; j < lanes; ++j) {
            uint64_t word = 0;
            std::memcpy(&word, stripe + 8 * j, 8);
            const uint64_t keyed = word ^ (laneKeys[j] + salt);
            // a 32 × 32-bit product of the keyed word's halves, and the word itself
            laneSums[j] += (keyed & 0xFFFFFFFFu) * (keyed >> 32) + word;
        }
    }
    std::memcpy(sums, laneSums, sizeof laneSums);
    stripesTaken += stripes;
}

void RecordFingerprint::Add(const unsigned char* bytes, std::size_t count)
{
    bytesTaken += count;
    if (pendingCount > 0) {  // complete the stripe begun by the run before
        const std::size_t part = std::min(count, stripeBytes - pendingCount);
        std::memcpy(pending + pendingCount, bytes, part);
        pendingCount += part;
        bytes += part;
        count -= part;
        if (pendingCount < stripeBytes)
            return;
        AddStripes(pending, 1);
        pendingCount = 0;
    }
    const std::size_t whole = count / stripeBytes;
    AddStripes(bytes, whole);
    pendingCount = count - whole * stripeBytes;
    std::memcpy(pending, bytes + whole * stripeBytes, pendingCount);
}

uint64_t RecordFingerprint::Finish()
{
    if (pendingCount > 0) {  // the last stripe filled up with zeros; the byte count tells them apart
        std::memset(pending + pendingCount, 0, stripeBytes - pendingCount);
        AddStripes(pending, 1);
    }
    uint64_t print = Mix(bytesTaken + stripeStep);
    for (const uint64_t sum : sums)
        print = Mix(print ^ sum) + stripeStep;
    *this = RecordFingerprint();
    return print;
}
