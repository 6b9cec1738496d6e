#pragma once

#include "audio/AudioEngine.h"
#include "audio/Lv2Instance.h"

#include <cstdint>
#include <vector>

namespace zw {

// A note through an LV2 instance, as the audio thread would play it, in
// periods of `period` frames: the genome's values, note 60 at velocity 100
// held for `held` frames, then `released` frames after its note-off. Left
// and right, one after the other per frame.
std::vector<float> RenderLv2Note(TLv2Instance& instance, const std::vector<uint8_t>& genome, uint32_t held,
                                 uint32_t released, uint32_t period = 256);
// The same through the audio engine, as the program plays it (mixed, gained,
// limited): `instance` is the instrument in the engine's `slot`.
std::vector<float> RenderLv2Note(TAudioEngine& engine, int slot, TLv2Instance& instance,
                                 const std::vector<uint8_t>& genome, uint32_t held, uint32_t released,
                                 uint32_t period = 256);

// The spectral centroid (Hz) of `frames` mono frames from `start` of a stereo
// render (its left side), at `rate`; `frames` a power of two.
double SpectralCentroid(const std::vector<float>& stereo, size_t start, size_t frames, double rate);

// The largest absolute sample.
float Peak(const std::vector<float>& samples);

} // namespace zw
