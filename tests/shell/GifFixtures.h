// Builds small GIF files for the tests: a real LZW coder and a writer for
// headers, graphic control extensions and images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct FixtureFrame {
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint8_t colorIndex = 0;  // every pixel of the frame
    bool withControl = true;     // write a graphic control extension
    std::uint16_t delay = 3;
    std::uint8_t disposal = 1;
};

// GIF variable-width LZW of `indices`, not yet cut into sub-blocks.
Bytes LzwEncode(const Bytes& indices, int minCodeSize);

// A GIF89a of width x height whose 4-entry global colour table is
// black, red, green, blue, background index 0, with the given frames.
Bytes BuildGif(std::uint16_t width, std::uint16_t height, const std::vector<FixtureFrame>& frames,
               bool withLoopExtension = false);

// The bytes of a file as read from disk.
Bytes ReadFileBytes(const std::string& path);
