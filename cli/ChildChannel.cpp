#include "ChildChannel.h"

#include <cerrno>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/ProgressPercent.h"
#include "logging/WriteAll.h"

void PipeOutput::Progress(double fraction)
{
    const int percent = WholePercent(fraction);
    if (percent == sentPercent)
        return;
    sentPercent = percent;
    Send(FrameType::Progress, std::to_string(fraction));
}

namespace {

void PutLittleEndian(uint32_t value, char* into)
{
    for (int i = 0; i < 4; ++i)
        into[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLittleEndian(const char* from)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(from[i])) << (8 * i);
    return value;
}

}  // namespace

void PipeOutput::Send(FrameType type, const std::string& payload)
{
    std::string frame(5, '\0');
    frame[0] = static_cast<char>(type);
    PutLittleEndian(static_cast<uint32_t>(payload.size()), &frame[1]);
    frame += payload;
    (void)WriteAll(fd, frame);  // when the batch is gone there is nobody to tell
}

bool FrameBuffer::Next(FrameType& type, std::string& payload)
{
    if (pending.size() < 5)
        return false;
    const uint32_t length = GetLittleEndian(&pending[1]);
    if (pending.size() < 5 + static_cast<size_t>(length))
        return false;
    type = static_cast<FrameType>(pending[0]);
    payload = pending.substr(5, length);
    pending.erase(0, 5 + static_cast<size_t>(length));
    return true;
}

bool SendRecordingIndex(int fd, uint32_t index)
{
    char bytes[4];
    PutLittleEndian(index, bytes);
    size_t sent = 0;
    while (sent < sizeof bytes) {
        // MSG_NOSIGNAL: a worker that is gone makes this false, not the batch end by SIGPIPE
        const ssize_t part = send(fd, bytes + sent, sizeof bytes - sent, MSG_NOSIGNAL);
        if (part < 0 && errno == EINTR)
            continue;
        if (part <= 0)
            return false;
        sent += static_cast<size_t>(part);
    }
    return true;
}

bool ReceiveRecordingIndex(int fd, uint32_t& index)
{
    char bytes[4];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t part = read(fd, bytes + got, sizeof bytes - got);
        if (part < 0 && errno == EINTR)
            continue;
        if (part <= 0)
            return false;
        got += static_cast<size_t>(part);
    }
    index = GetLittleEndian(bytes);
    return true;
}
