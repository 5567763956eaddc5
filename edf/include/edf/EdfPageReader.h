#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "edf/EdfParser.h"

// One signal of a page: per column of the page, the smallest and the largest sample in its time,
// in physical units.
struct EdfTrace {
    int signal = 0;  // index in the header's signals
    std::vector<double> minimum;
    std::vector<double> maximum;
};

// An annotation in time, seconds from the file's start.
struct EdfEvent {
    double onset = 0;
    std::string text;
};

// A span of an EDF+ file as a viewer draws it.
struct EdfPage {
    double start = 0;    // seconds from the file's start
    double seconds = 0;  // the span's length
    std::vector<EdfTrace> traces;
};

// Reads spans of an EDF+ file for a viewer, reading only what is shown: the records of the span,
// and of a span with more records than columns only as many records as columns, each giving the
// minimum and maximum of its column. The annotations are read once, when the file is opened,
// from the first records on while records hold them (where this program's writer puts them).
class EdfPageReader {
public:
    bool Open(const std::filesystem::path& path, std::string& error);
    const EdfHeader& Header() const { return m_reader.Header(); }
    double RecordSeconds() const { return m_recordSeconds; }
    double TotalSeconds() const { return m_recordSeconds * static_cast<double>(Header().recordCount); }
    // The signals that hold samples (not annotations), in header order.
    const std::vector<int>& SampleSignals() const { return m_sampleSignals; }
    const std::vector<EdfEvent>& Events() const { return m_events; }
    // Physical value of a digital one for a signal, by its header's ranges.
    double Physical(int signal, int digital) const;

    // `seconds` from `start` of `signals` in `columns` columns; false with the problem in `error`.
    bool ReadPage(double start, double seconds, int columns, const std::vector<int>& signals, EdfPage& page,
                  std::string& error);

private:
    bool ReadEvents(std::string& error);

    EdfReader m_reader;
    double m_recordSeconds = 0;
    std::vector<int> m_sampleSignals;
    std::vector<double> m_gain;  // physical per digital step, per signal
    std::vector<double> m_offset;
    std::vector<EdfEvent> m_events;
    EdfRecord m_record;
};
