#pragma once
// The house style: one palette of colour ramps for everything, light from the
// upper left, a dark outline around every shape. Paint() is how shapes become
// pixels: the mask is shaded along its ramp by how its edges face the light,
// then ringed with the outline colour.
#include "Raster.h"

#include <map>
#include <string>
#include <vector>

namespace artgen {

// Colours of one material, darkest first.
using Ramp = std::vector<Rgba>;

class Palette {
public:
    // Reads "name #rrggbb #rrggbb ..." lines; '#' at the start of a line is a
    // comment. Raises varnok::EConvertError with file and line on bad input.
    void Load(const std::string& path);
    void Define(const std::string& name, Ramp ramp) { ramps_[name] = std::move(ramp); }
    bool Has(const std::string& name) const { return ramps_.count(name) != 0; }
    // Raises varnok::EConvertError for an unknown name.
    const Ramp& Get(const std::string& name) const;
    // "name.index", "name" (its middle colour), "#rrggbb" or "none".
    Rgba Color(const std::string& ref) const;

private:
    std::map<std::string, Ramp> ramps_;
};

// The palette the drawing code uses (loaded once at start).
Palette& Pal();
inline const Ramp& R(const std::string& name) { return Pal().Get(name); }
inline Rgba C(const std::string& ref) { return Pal().Color(ref); }
// The outline colour of all sprites.
Rgba Outline();

// Parses "#rrggbb"; false when the text is not one.
bool ParseHex(const std::string& text, Rgba& out);

struct PaintOptions {
    double light = 1.0;    // strength of the light-and-shadow shading (0: flat)
    int mid = -1;          // ramp index of an unlit face (-1: the middle one)
    bool outline = true;   // ring the shape with the outline colour
    Rgba outlineColor{};   // alpha 0: Outline()
    int softness = 2;      // blur radius that decides how far edge shading reaches
};

// Shades the mask's pixels along the ramp and draws its outline ring around
// it (over whatever is there: parts painted later sit in front).
void Paint(Canvas& c, const Mask& m, const Ramp& ramp, const PaintOptions& opt = {});
// The ramp index each mask pixel gets (for callers that add texture).
std::vector<int> ShadeLevels(const Mask& m, int rampSize, const PaintOptions& opt = {});

} // namespace artgen
