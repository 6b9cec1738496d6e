#pragma once

#include <optional>
#include <vector>

namespace zw {

// The MIDI note nearest the pitch of `samples` (YIN, over the first 0.1 s
// after the onset), or none when no period stands out (noise, silence).
std::optional<int> EstimateNote(const std::vector<float>& samples, double sampleRate);

} // namespace zw
