#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// An EDF+ reader written from the format and sharing no code with the writer but the header
// layout (EdfLayout.h, pinned to the format by its own test): the verification
// of written files reads them back with it, and the tests and fuzz targets check files with it.
// It checks the structure strictly (header size, file size = header + records × record size,
// well-formed TALs, a time-keeping TAL first in every record) and reports the first problem
// with its byte offset. Text fields are kept as written with trailing spaces removed.

struct EdfSignal {
    std::string label;
    std::string transducer;
    std::string physicalDimension;
    std::string physicalMinimum;  // as written, e.g. "-1000" or "3276.699"
    std::string physicalMaximum;
    int digitalMinimum = 0;
    int digitalMaximum = 0;
    std::string prefiltering;
    int samplesPerRecord = 0;
    bool isAnnotation = false;  // label "EDF Annotations"
};

// One time-stamped annotation list of an annotation signal.
struct EdfTal {
    int64_t record = 0;              // index of the data record holding it
    std::string onset;               // as written, sign included: "+2.5"
    std::string duration;            // empty when the TAL has none
    std::vector<std::string> texts;  // its annotation texts (UTF-8); empty for a time-keeping TAL
};

struct EdfHeader {
    std::string version;  // "0"
    std::string patient;
    std::string recording;
    std::string startDate;  // "dd.mm.yy"
    std::string startTime;  // "hh.mm.ss"
    int headerBytes = 0;
    std::string reserved;        // "EDF+C"
    int64_t recordCount = 0;     // the header's count; -1 (a file never closed) is refused
    std::string recordDuration;  // as written, e.g. "1" or "0.02941"
    int signalCount = 0;         // every signal, annotation signals included
    std::vector<EdfSignal> signals;
    int64_t recordBytes = 0;  // bytes of one data record
};

// One data record.
struct EdfRecord {
    std::vector<std::vector<int16_t>> samples;  // per signal (same index as the header's); empty for annotation signals
    std::string startTime;                      // the onset of its time-keeping TAL
    std::vector<EdfTal> annotations;            // its other TALs, in order
};

// Reads a file record by record, holding one record at a time.
class EdfReader {
public:
    EdfReader() = default;
    ~EdfReader();
    EdfReader(const EdfReader&) = delete;
    EdfReader& operator=(const EdfReader&) = delete;

    // Reads and checks the header and the file's size; false with the problem in `error`.
    bool Open(const std::filesystem::path& path, std::string& error);
    // The same over bytes in memory, which must outlive the reader.
    bool OpenBytes(const std::vector<unsigned char>& bytes, std::string& error);
    const EdfHeader& Header() const { return header; }
    // The next data record; false at the end (error empty) or on a problem (error says it).
    bool ReadRecord(EdfRecord& record, std::string& error);
    // Whether ReadRecord fills in the samples (by default); without, a caller that takes the
    // samples as bytes finds them in RecordBytes, and the annotations are read as ever.
    void SetSamplesDecoded(bool decoded) { samplesDecoded = decoded; }
    // The bytes of the record ReadRecord read last.
    const std::vector<unsigned char>& RecordBytes() const { return recordBytes; }
    // The record that ReadRecord reads next: any of the file's, in any order.
    void SeekRecord(int64_t index) { nextRecord = index; }

private:
    bool ReadHeader(std::string& error);
    bool ReadAt(int64_t offset, std::size_t count, std::vector<unsigned char>& into) const;

    int fd = -1;
    const std::vector<unsigned char>* memory = nullptr;
    int64_t size = 0;
    EdfHeader header;
    int64_t nextRecord = 0;
    std::vector<unsigned char> recordBytes;
    bool samplesDecoded = true;
};

// A whole file in memory: the header, every signal's samples and every TAL.
struct EdfFile : EdfHeader {
    // Per signal (same index as signals): all samples of every record, in order; empty for an
    // annotation signal.
    std::vector<std::vector<int16_t>> samplesPerSignal;
    // The onset of each record's time-keeping TAL (the record's start time), one per record.
    std::vector<std::string> recordStartTimes;
    // Every other TAL, in file order.
    std::vector<EdfTal> annotations;
};

// Reads the file at `path` into `file`; false with a message (naming the offset) in `error`.
bool ParseEdfFile(const std::filesystem::path& path, EdfFile& file, std::string& error);
bool ParseEdfBytes(const std::vector<unsigned char>& bytes, EdfFile& file, std::string& error);
