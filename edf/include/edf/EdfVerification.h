#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "edf/EdfFileEngine.h"
#include "edf/EdfParser.h"

// What one EDF+ file must hold, gathered while the writer writes it, and the comparison with the
// file as the EDF+ reader reads it back once it is closed. The samples are kept as a fingerprint
// per data record (8 bytes, whatever the record's size), which the file engine takes of the
// record's sample bytes while it packs them (EdfKeepRecordFingerprints). The read-back
// fingerprints the records' sample bytes as read, without decoding a sample, so that verifying
// costs little more than reading the file once. The annotations are kept whole, and the header's
// counts, samples per record and digital ranges are compared with those set. Memory grows with
// the records and annotations, never with the samples.
class EdfVerification {
public:
    void Begin(int signalCount);
    void SetDigitalRange(int signal, int minimum, int maximum);
    void SetSamplesPerRecord(int samplesPerRecord) { signalSamples.assign(ranges.size(), samplesPerRecord); }
    // Per signal, for signals of different rates.
    void SetSamplesPerRecord(const std::vector<int>& samplesPerRecord) { signalSamples = samplesPerRecord; }
    // Where the file engine appends the fingerprint of each data record as packed.
    std::vector<uint64_t>* RecordFingerprints() { return &records; }
    // Data record `record` went to the file with samples other than those handed over (clipped
    // where no clipping was expected): the comparison reports it when it reaches that record.
    void MarkAltered(int64_t record);
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

    // An annotation as read back: its record, its onset as written, its text.
    struct FoundAnnotation {
        int64_t record;
        std::string onset;
        std::string text;
    };
    // What a stretch of the file's data records holds, read up to the first record whose samples
    // differ (or that cannot be read): the annotations before it, in file order.
    struct Stretch {
        int64_t firstDiffering = -1;
        std::string problem;  // why a record could not be read; empty when all could
        std::vector<FoundAnnotation> annotations;
    };
    // Files whose data records hold at least this many bytes are read back in two halves at once.
    static constexpr int64_t halvesFromBytes = int64_t{8} * 1024 * 1024;

    std::wstring CompareHeader(const EdfHeader& header) const;
    // Records from up to (not including) to, through a reader open on the file.
    void ReadStretch(EdfReader& reader, int64_t from, int64_t to, Stretch& stretch) const;
    void ReadStretch(const std::filesystem::path& path, int64_t from, int64_t to, Stretch& stretch) const;
    // The first difference in the stretches, taken in order, against what was written.
    std::wstring CompareStretches(const std::vector<Stretch>& stretches) const;

    int signalCount = 0;
    std::vector<int> signalSamples;  // samples per data record of each signal
    std::vector<Range> ranges;
    int64_t firstAltered = -1;      // the first record marked altered; -1: none
    std::vector<uint64_t> records;  // the fingerprint of each data record's samples
    std::vector<Annotation> annotations;
};
