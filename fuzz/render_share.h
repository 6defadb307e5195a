#pragma once
// The decoder targets decode every input and render it (detail lines, JSON, comparison)
// only for a fixed share of the inputs, chosen by a hash of the input's bytes: most
// executions go to the decoder, and an input that breaks a renderer still does so every
// time it is run again. VELTRIKA_FUZZ_RENDER_ALL=1 in the environment renders every input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzzing {

constexpr uint32_t kRenderOneIn = 16;

// FNV-1a over the input; one input in kRenderOneIn is rendered.
inline bool rendersInput(const uint8_t *data, size_t size) {
    static const bool all = [] {
        const char *value = std::getenv("VELTRIKA_FUZZ_RENDER_ALL");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return all || hash % kRenderOneIn == 0;
}

} // namespace fuzzing
