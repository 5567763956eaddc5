#include "edf/EdfPageReader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

double Number(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

bool EdfPageReader::Open(const std::filesystem::path& path, std::string& error)
{
    if (!m_reader.Open(path, error))
        return false;
    const EdfHeader& header = Header();
    m_recordSeconds = Number(header.recordDuration);
    if (!(m_recordSeconds > 0)) {
        error = path.string() + ": the data record duration " + header.recordDuration + " is not a positive number";
        return false;
    }
    m_sampleSignals.clear();
    m_gain.assign(header.signals.size(), 1);
    m_offset.assign(header.signals.size(), 0);
    for (size_t i = 0; i < header.signals.size(); ++i) {
        const EdfSignal& signal = header.signals[i];
        if (signal.isAnnotation)
            continue;
        m_sampleSignals.push_back(static_cast<int>(i));
        const double digitalSpan = signal.digitalMaximum - signal.digitalMinimum;
        if (digitalSpan != 0)
            m_gain[i] = (Number(signal.physicalMaximum) - Number(signal.physicalMinimum)) / digitalSpan;
        m_offset[i] = Number(signal.physicalMinimum) - m_gain[i] * signal.digitalMinimum;
    }
    return ReadEvents(error);
}

double EdfPageReader::Physical(int signal, int digital) const
{
    const auto index = static_cast<size_t>(signal);
    return m_offset[index] + m_gain[index] * digital;
}

bool EdfPageReader::ReadEvents(std::string& error)
{
    m_events.clear();
    m_reader.SeekRecord(0);
    while (m_reader.ReadRecord(m_record, error)) {
        if (m_record.annotations.empty())
            break;
        for (const EdfTal& tal : m_record.annotations) {
            for (const std::string& text : tal.texts)
                m_events.push_back({Number(tal.onset), text});
        }
    }
    return error.empty();
}

bool EdfPageReader::ReadPage(double start, double seconds, int columns, const std::vector<int>& signals, EdfPage& page,
                             std::string& error)
{
    page.start = start;
    page.seconds = seconds;
    page.traces.clear();
    columns = std::max(columns, 1);
    for (const int signal : signals) {
        EdfTrace trace;
        trace.signal = signal;
        trace.minimum.assign(static_cast<size_t>(columns), std::numeric_limits<double>::quiet_NaN());
        trace.maximum = trace.minimum;
        page.traces.push_back(std::move(trace));
    }
    const int64_t count = Header().recordCount;
    const auto first = std::clamp<int64_t>(static_cast<int64_t>(std::floor(start / m_recordSeconds)), 0, count);
    const auto end =
        std::clamp<int64_t>(static_cast<int64_t>(std::ceil((start + seconds) / m_recordSeconds)), first, count);
    // With more records than columns, one record per column stands for its column.
    const int64_t step = std::max<int64_t>(1, (end - first) / columns);
    for (int64_t record = first; record < end; record += step) {
        m_reader.SeekRecord(record);
        if (!m_reader.ReadRecord(m_record, error))
            return false;
        const double recordStart = static_cast<double>(record) * m_recordSeconds;
        for (EdfTrace& trace : page.traces) {
            const std::vector<int16_t>& samples = m_record.samples[static_cast<size_t>(trace.signal)];
            const double sampleSeconds = m_recordSeconds / static_cast<double>(std::max<size_t>(samples.size(), 1));
            for (size_t i = 0; i < samples.size(); ++i) {
                const double at = (recordStart + static_cast<double>(i) * sampleSeconds - start) / seconds;
                if (at < 0 || at >= 1)
                    continue;
                const auto column = static_cast<size_t>(at * columns);
                const double value = Physical(trace.signal, samples[i]);
                double& low = trace.minimum[column];
                double& high = trace.maximum[column];
                low = std::isnan(low) ? value : std::min(low, value);
                high = std::isnan(high) ? value : std::max(high, value);
            }
        }
    }
    return true;
}
