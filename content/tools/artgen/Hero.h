#pragma once
// The hero: a small adventurer (red jacket, blue trousers, brown boots,
// orange spiky hair, yellow scarf) drawn from a pose of joint angles, so that
// every frame, the large credits figure and the title picture show the same
// character.
#include "Raster.h"

namespace artgen {

// Angles in degrees, 0 = hanging straight down, positive = swung forward
// (towards the way the hero faces).
struct Limb {
    double upper = 0; // thigh or upper arm
    double lower = 0; // shin or forearm (absolute, not relative to upper)
};

struct HeroPose {
    bool front = false;      // seen from the front (else from the side)
    bool faceLeft = false;   // side view mirrored
    double hipX = 16, hipY = 31;
    double lean = 0;         // torso lean, degrees forward
    Limb armFront, armBack, legFront, legBack;
    double headBob = 0;      // head offset downwards in pixels
    bool blink = false;
    bool surprised = false;  // open mouth, wide eyes
    double scarf = 0;        // phase of the scarf's flutter (radians)
    double spin = 0;         // whole figure turned by this many degrees
    double spinX = 16, spinY = 28;
    double size = 1.0;       // figure shrunk about (spinX, spinY)
    bool grounded = true;    // move the figure so the lowest boot touches the bottom row
};

// Draws the pose into a new canvas of w x h at the given scale (1 for the
// 32 x 48 sprite; coordinates of the pose are for scale 1).
Canvas DrawHero(const HeroPose& pose, int w, int h, double scale = 1.0);

// Ready-made poses.
HeroPose WalkPose(double phase, bool faceLeft);    // phase 0..1 along the cycle
HeroPose JumpPose(double t, bool faceLeft);        // t 0..1 from take-off to landing
HeroPose StandPose(int frame, int frames);
HeroPose FallPose(int frame);
HeroPose BallPose(double angle);
HeroPose WavePose(int frame, int frames);          // waving to the viewer

} // namespace artgen
