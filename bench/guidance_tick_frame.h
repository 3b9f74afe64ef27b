// The tick both guidance benchmarks draw: one phase of an attempt 5000 samples in, the bar
// tilted a little, the stroke started at 55 degrees and now at -20, so every disc and the
// dial have something to show.
#pragma once

#include "measure/guidance_screen.h"

namespace vanta {

inline GuidanceFrame benchGuidanceFrame(int phase) {
    GuidanceFrame f;
    f.phaseBefore = f.phaseNow = phase;
    f.sampleCount = 5000;
    f.unit[0] = 0.1;
    f.unit[2] = -0.05;
    f.startAngle = 55.0;
    f.angle = -20.0;
    f.peakAngle = 0.0;
    f.direction = -1;
    return f;
}

}  // namespace vanta
