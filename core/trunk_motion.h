// A physically plausible trunk-rotation subject as the sensor box on the bar sees it:
// standing still with the bar level, winding up to one side, reversing, a stroke
// through to the other side with a realistic angular-velocity profile, a small rebound
// and standing still again. Produces the six raw channels sample by sample, with the
// sensor's offsets and noise. The demo test files and the simulated sensor box share it.
#pragma once

#include <cstdint>

namespace vanta {

struct AttemptParameters {
    int side = 1;                     // +1 winds up to positive angles, -1 to negative ones
    double windUpDegrees = 60.0;      // 45..70: how far the subject turns before the reversal
    double followThroughDegrees = 70.0;  // how far past the middle the stroke carries
    double peakVelocity = 300.0;      // deg/s, 200..400
    double standStillSeconds = 2.0;   // bar level and still before the wind-up
    double windUpSeconds = 1.0;
    double reboundVelocity = 15.0;    // deg/s back against the stroke when it stops
    double sensorLeverMetres = 0.20;  // distance of the sensor from the rotation axis
    double channelOffset[6] = {};     // counts, the box's zero error per channel
    double rateNoise = 2.5;           // counts, standard deviation
    double accelNoise = 6.0;          // counts, standard deviation
};

// The parameters of attempt number `attempt` of a session seeded with `seed`: attempts
// alternate sides and vary in wind-up, speed and timing; the same seed gives the same
// attempts.
AttemptParameters attemptParameters(uint64_t seed, int attempt);

// Small deterministic generator (splitmix64) so that a seed gives the same stream on
// every platform and library.
class SeededNoise {
public:
    explicit SeededNoise(uint64_t seed) : state_(seed) {}
    uint64_t nextBits();
    double uniform();   // [0, 1)
    double gaussian();  // mean 0, deviation 1
private:
    uint64_t state_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

class TrunkAttempt {
public:
    TrunkAttempt(const AttemptParameters& params, uint64_t noiseSeed);

    // The next sample of the six channels (acc X, Y, Z, rate X, Y, Z), raw counts.
    void next(int16_t out[6]);
    // Sample index the next call to next() produces.
    int position() const { return index_; }

    // Noise-free angular velocity (deg/s, positive = towards positive angles) and angle
    // (deg) at a sample index.
    double angularVelocityAt(int sample) const;
    double angleAt(int sample) const;

    // The sample at which the rotation reverses (end of the wind-up), the sample at which
    // the stroke comes to rest and turns into the rebound, and the sample after which the
    // subject stands still again.
    int reversalSample() const { return reversal_; }
    int strokeEndSample() const { return strokeEnd_; }
    int settledSample() const { return settled_; }
    const AttemptParameters& parameters() const { return p_; }

private:
    double velocityAtTime(double t) const;
    double angleAtTime(double t) const;

    AttemptParameters p_;
    SeededNoise noise_;
    int index_ = 0;
    double tWindUp_ = 0, tReversal_ = 0, tStrokeEnd_ = 0, tSettled_ = 0;
    double strokeSeconds_ = 0;
    int reversal_ = 0, strokeEnd_ = 0, settled_ = 0;
};

}  // namespace vanta
