#pragma once
// Text manifests of image lists, for the content tools: a readable list of
// items with their properties and the picture files (PNG or BMP) that hold
// their pictures. The format is described in dxgtool's help.
#include <string>
#include <string_view>

namespace varnok {

class TPictureCollection;
class TPictureCollectionItem;

// Appends the items a manifest describes; relative picture paths are taken
// from baseDir. Errors raise Exception "LINE: message".
void ParseImageListManifest(std::string_view text, const std::string& baseDir,
                            TPictureCollection& collection);
void LoadImageListManifest(const std::string& path, TPictureCollection& collection);

// Writes each item's picture as a PNG file into dir and a manifest of all
// items beside them; returns the manifest's path.
std::string ExtractImageList(const TPictureCollection& collection, const std::string& dir);

// One line on an item: name, pattern size, skips, picture, transparency.
std::string DescribeImageItem(const TPictureCollectionItem& item);

} // namespace varnok
