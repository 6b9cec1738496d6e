#include "audio/WavFile.h"

#include "common/Exceptions.h"
#include "common/SafeFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace zw {
namespace {

using TBuffer = TWavWriter::TBuffer;

// libsndfile writes into the buffer as into a file: it seeks back to finish
// the header when it closes.
sf_count_t BufferLength(void* data) { return static_cast<sf_count_t>(static_cast<TBuffer*>(data)->Bytes.size()); }

sf_count_t BufferSeek(sf_count_t offset, int whence, void* data)
{
    auto& buffer = *static_cast<TBuffer*>(data);
    const auto size = static_cast<int64_t>(buffer.Bytes.size());
    const int64_t base = whence == SEEK_CUR ? buffer.Position : whence == SEEK_END ? size : 0;
    buffer.Position = std::max<int64_t>(0, base + offset);
    return buffer.Position;
}

sf_count_t BufferRead(void* out, sf_count_t count, void* data)
{
    auto& buffer = *static_cast<TBuffer*>(data);
    const auto size = static_cast<int64_t>(buffer.Bytes.size());
    const int64_t available = std::clamp<int64_t>(size - buffer.Position, 0, count);
    std::memcpy(out, buffer.Bytes.data() + buffer.Position, static_cast<size_t>(available));
    buffer.Position += available;
    return available;
}

sf_count_t BufferWrite(const void* in, sf_count_t count, void* data)
{
    auto& buffer = *static_cast<TBuffer*>(data);
    const auto end = static_cast<size_t>(buffer.Position + count);
    if (end > buffer.Bytes.size())
        buffer.Bytes.resize(end);
    std::memcpy(buffer.Bytes.data() + buffer.Position, in, static_cast<size_t>(count));
    buffer.Position += count;
    return count;
}

sf_count_t BufferTell(void* data) { return static_cast<TBuffer*>(data)->Position; }

SF_VIRTUAL_IO kBufferIo{BufferLength, BufferSeek, BufferRead, BufferWrite, BufferTell};

} // namespace

void TWavWriter::TCloser::operator()(sf_private_tag* file) const { sf_close(file); }

TWavWriter::TWavWriter(int sampleRate) : FBuffer(std::make_unique<TBuffer>())
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    FFile.reset(sf_open_virtual(&kBufferIo, SFM_WRITE, &info, FBuffer.get()));
    if (!FFile)
        throw Exception(std::string("The WAV encoder cannot start: ") + sf_strerror(nullptr));
    // A sample beyond full scale is clipped, never wrapped into a crack.
    sf_command(FFile.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

TWavWriter::~TWavWriter() = default;

void TWavWriter::Append(const float* left, const float* right, uint32_t frames)
{
    if (!FFile)
        return;
    FInterleaved.resize(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        FInterleaved[2 * i] = left[i];
        FInterleaved[2 * i + 1] = right[i];
    }
    sf_writef_float(FFile.get(), FInterleaved.data(), frames);
    FFrames += frames;
}

void TWavWriter::Save(const std::string& fileName)
{
    FFile.reset(); // writes the header's sizes
    WriteFileAtomically(fileName, FBuffer->Bytes);
}

} // namespace zw
