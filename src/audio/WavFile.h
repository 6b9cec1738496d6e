#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace zw {

// A stereo WAV file (24-bit PCM) made in memory and written in one step by
// Save, so that a failed or abandoned export leaves nothing half-written.
class TWavWriter {
public:
    // Raises Exception when the encoder cannot start.
    explicit TWavWriter(int sampleRate);
    ~TWavWriter();
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    void Append(const float* left, const float* right, uint32_t frames);
    int64_t Frames() const { return FFrames; }

    // Completes the file and puts it at `fileName`, replacing any file there
    // only once it is whole. Raises EInOutError naming the file. Once only.
    void Save(const std::string& fileName);

    // The bytes of the file written so far: the whole file after Save.
    struct TBuffer {
        std::string Bytes;
        int64_t Position = 0;
    };

private:
    struct TCloser {
        void operator()(sf_private_tag* file) const;
    };

    std::unique_ptr<TBuffer> FBuffer; // where the encoder writes; stays put while it does
    std::unique_ptr<sf_private_tag, TCloser> FFile;
    std::vector<float> FInterleaved;
    int64_t FFrames = 0;
};

} // namespace zw
