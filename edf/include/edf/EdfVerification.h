#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "edf/EdfFileEngine.h"

struct EdfRecord;

// What one EDF+ file must hold, gathered while the writer writes it, and the comparison with the
// file as the EDF+ reader reads it back once it is closed. The samples are kept as a fingerprint
// per data record (24 bytes, whatever the record's size): a hash of the record's samples as they
// were clamped into their signals' digital ranges, their sum and their sum weighted by position.
// A single sample that differs shows in the sums by its position, which the comparison names;
// the annotations are kept whole. Memory grows with the records and annotations, never with the
// samples.
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
    // first (record, signal and sample), in words.
    std::wstring Compare(const std::filesystem::path& path) const;

private:
    struct Fingerprint {
        uint64_t hash = 0;
        int64_t sum = 0;
        int64_t weightedSum = 0;  // each sample times its position in the record, counted from 1
    };
    // Takes a record's samples in one or more runs. The hash takes them four at a time, one
    // multiplication per four samples, so that hashing keeps pace with reading.
    struct FingerprintMaker {
        Fingerprint print;
        uint64_t pending = 0;  // up to four samples not hashed yet, the first in the low bits
        int pendingCount = 0;
        int64_t position = 0;  // samples taken so far

        FingerprintMaker();
        void Add(const int16_t* values, size_t count);
        void HashOne(int16_t value);
        Fingerprint Finish();
    };
    struct Annotation {
        int64_t onset;
        int onsetDecimals;
        std::string text;  // UTF-8
    };
    struct Range {
        int minimum = 0;
        int maximum = 0;
    };

    std::vector<int16_t> clamped;  // the record being added, as the file engine clamps it
    std::wstring CompareRecord(int64_t record, const Fingerprint& read, const EdfRecord& readRecord,
                               const std::vector<std::string>& labels) const;

    int signalCount = 0;
    std::vector<int> signalSamples;  // samples per data record of each signal
    bool clipsExpected = true;
    std::vector<Range> ranges;
    std::vector<Fingerprint> records;
    std::vector<Annotation> annotations;
};
