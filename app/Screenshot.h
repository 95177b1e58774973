#pragma once
// Screenshots: numbered PNG files that are never overwritten.
#include "common/Image.h"

#include <string>

namespace varnok {

// Saves image as the next "varnok-NNNN.png" in folder (made when missing):
// one past the highest number there, and never over a file that exists, even
// one made at the same moment by someone else. Returns the file's path.
// Raises EFileError when it cannot be written.
std::string SaveNumberedPng(const RgbaImage& image, const std::string& folder);

} // namespace varnok
