#include "ChildChannel.h"

#include <cerrno>
#include <cstdint>
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

void PipeOutput::Send(FrameType type, const std::string& payload)
{
    std::string frame(5, '\0');
    frame[0] = static_cast<char>(type);
    const auto length = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        frame[1 + static_cast<size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    frame += payload;
    (void)WriteAll(fd, frame);  // when the batch is gone there is nobody to tell
}

bool FrameBuffer::Next(FrameType& type, std::string& payload)
{
    if (pending.size() < 5)
        return false;
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<uint32_t>(static_cast<unsigned char>(pending[1 + static_cast<size_t>(i)])) << (8 * i);
    if (pending.size() < 5 + static_cast<size_t>(length))
        return false;
    type = static_cast<FrameType>(pending[0]);
    payload = pending.substr(5, length);
    pending.erase(0, 5 + static_cast<size_t>(length));
    return true;
}
