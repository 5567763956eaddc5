#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "edf/EdfFileEngine.h"
#include "edf/EdfParser.h"

// What one EDF+ file must hold, gathered while the writer writes it, and the comparison with the
// file as the EDF+ reader reads it back once it is closed. The samples are kept as a fingerprint
// per data record (8 bytes, whatever the record's size) of their bytes as the file must hold them:
// clamped into their signals' digital ranges, low byte first. The read-back fingerprints the
// records' sample bytes as read, without decoding a sample, so that verifying costs little more
// than reading the file once. The annotations are kept whole, and the header's counts, samples per
// record and digital ranges are compared with those set. Memory grows with the records and
// annotations, never with the samples.
class EdfVerification {
public:
    // clipsExpected: samples beyond a signal's digital range are expected as clipped to it;
    // otherwise as they were added, so that a clipped sample does not match.
    void Begin(int signalCount, bool clipsExpected = true);
    void SetDigitalRange(int signal, int minimum, int maximum);
    void SetSamplesPerRecord(int samplesPerRecord) { signalSamples.assign(ranges.size(), samplesPerRecord); }
    // Per signal, for signals of different rates.
    void SetSamplesPerRecord(const std::vector<int>& samplesPerRecord) { signalSamples = samplesPerRecord; }
    void AddRecord(const std::vector<short>& samples);
    // The text as the file engine keeps it: whole or its first 40 bytes, converted to UTF-8.
    void AddAnnotation(int64_t onset, int onsetDecimals, const std::string& latin1Text, AnnotationTexts texts);
    // The file keeps only the first `count` annotations (the rest could not be placed).
    void KeepAnnotations(size_t count);

    // Empty when the file holds every record and annotation as written; otherwise what differs
    // first (the header's values, a data record, an annotation), in words.
    std::wstring Compare(const std::filesystem::path& path) const;

private:
    struct Annotation {
        int64_t onset;
        int onsetDecimals;
        std::string text;  // UTF-8
    };
    struct Range {
        int minimum = 0;
        int maximum = 0;
    };

    // Whether a sample handed over may differ from the one the file must hold.
    bool ClampsSamples() const;
    std::wstring CompareHeader(const EdfHeader& header) const;

    std::vector<int16_t> clamped;  // the record being added, as the file must hold it
    int signalCount = 0;
    std::vector<int> signalSamples;  // samples per data record of each signal
    bool clipsExpected = true;
    std::vector<Range> ranges;
    std::vector<uint64_t> records;  // the fingerprint of each data record's samples
    std::vector<Annotation> annotations;
};
