#include "BatchProgress.h"

#include <cmath>
#include <string>

namespace {

std::string Megabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / 1e6);
    return text;
}

std::string Duration(double seconds)
{
    const long whole = std::lround(seconds);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld h %02ld min", whole / 3600, whole / 60 % 60);
    else if (whole >= 60)
        std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", whole);
    return text;
}

}  // namespace

BatchProgress::BatchProgress(std::vector<int64_t> bytes, bool show, std::FILE* out)
    : bytes(std::move(bytes)), show(show), out(out)
{
    fractions.assign(this->bytes.size(), 0);
    for (const int64_t b : this->bytes)
        totalBytes += b;
}

void BatchProgress::Update(size_t recording, double fraction)
{
    if (recording < fractions.size())
        fractions[recording] = fraction;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn >= std::chrono::milliseconds(200))
        Draw();
}

void BatchProgress::Finish(size_t recording)
{
    if (recording < fractions.size())
        fractions[recording] = 1;
    ++finished;
    Draw();
}

void BatchProgress::Draw()
{
    if (!show)
        return;
    double done = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        done += static_cast<double>(bytes[i]) * fractions[i];
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string line = std::to_string(finished) + " of " + std::to_string(bytes.size()) + " recordings, "
                       + Megabytes(done) + " of " + Megabytes(static_cast<double>(totalBytes)) + " MB";
    if (done > 0 && elapsed > 1)
        line += ", about " + Duration(elapsed * (static_cast<double>(totalBytes) - done) / done) + " left";
    std::fprintf(out, "\r%-78s", line.c_str());
    std::fflush(out);
    drawn = true;
    lastDrawn = std::chrono::steady_clock::now();
}

void BatchProgress::Clear()
{
    if (!drawn)
        return;
    std::fprintf(out, "\r%78s\r", "");
    std::fflush(out);
    drawn = false;
}
