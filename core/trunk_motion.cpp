#include "core/trunk_motion.h"

#include <algorithm>
#include <cmath>

#include "core/records.h"

namespace vanta {

namespace {

// Stroke velocity profile: a skewed bell u^a (1-u)^b, scaled to 1 at its top. Real strokes
// accelerate hard out of the reversal and brake more gently: the top lies near 40 %.
constexpr double kRiseExponent = 1.3;
constexpr double kFallExponent = 1.8;
constexpr double kReboundSeconds = 0.3;

double profileTop() {
    const double u = kRiseExponent / (kRiseExponent + kFallExponent);
    return std::pow(u, kRiseExponent) * std::pow(1.0 - u, kFallExponent);
}

double profile(double u) {
    if (u <= 0.0 || u >= 1.0) return 0.0;
    return std::pow(u, kRiseExponent) * std::pow(1.0 - u, kFallExponent) / profileTop();
}

// Integral of the profile from 0 to u (Simpson, fine enough for an angle in degrees).
double profileIntegral(double u) {
    if (u <= 0.0) return 0.0;
    u = std::min(u, 1.0);
    constexpr int kSteps = 200;
    const double h = u / kSteps;
    double s = profile(0.0) + profile(u);
    for (int i = 1; i < kSteps; ++i) s += profile(i * h) * (i % 2 ? 4.0 : 2.0);
    return s * h / 3.0;
}

int16_t toCounts(double v) {
    const double r = std::nearbyint(v);
    return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

}  // namespace

uint64_t SeededNoise::nextBits() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SeededNoise::uniform() { return static_cast<double>(nextBits() >> 11) * 0x1.0p-53; }

double SeededNoise::gaussian() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double u1 = uniform();
    while (u1 <= 0.0) u1 = uniform();
    const double u2 = uniform();
    const double radius = std::sqrt(-2.0 * std::log(u1));
    spare_ = radius * std::sin(2.0 * kPi * u2);
    hasSpare_ = true;
    return radius * std::cos(2.0 * kPi * u2);
}

AttemptParameters attemptParameters(uint64_t seed, int attempt) {
    SeededNoise pick(seed * 1000003u + static_cast<uint64_t>(attempt) * 7919u + 17u);
    AttemptParameters p;
    // Odd and even attempts start from opposite sides, the first one from the left.
    p.side = (attempt % 2 == 0) ? 1 : -1;
    p.windUpDegrees = 45.0 + 25.0 * pick.uniform();
    p.followThroughDegrees = 50.0 + 35.0 * pick.uniform();
    p.peakVelocity = 200.0 + 200.0 * pick.uniform();
    p.standStillSeconds = 1.6 + 0.8 * pick.uniform();
    p.windUpSeconds = 0.8 + 0.5 * pick.uniform();
    p.reboundVelocity = 8.0 + 12.0 * pick.uniform();
    // The box's zero errors belong to the box, not the attempt: the same for a session.
    SeededNoise box(seed ^ 0xB0C5u);
    for (int ch = 0; ch < 6; ++ch) p.channelOffset[ch] = std::round(-30.0 + 60.0 * box.uniform());
    return p;
}

TrunkAttempt::TrunkAttempt(const AttemptParameters& params, uint64_t noiseSeed) : p_(params), noise_(noiseSeed) {
    const double peak = std::max(1.0, p_.peakVelocity);
    const double travel = p_.windUpDegrees + p_.followThroughDegrees;
    strokeSeconds_ = travel / (peak * profileIntegral(1.0));
    tWindUp_ = p_.standStillSeconds;
    tReversal_ = tWindUp_ + p_.windUpSeconds;
    tStrokeEnd_ = tReversal_ + strokeSeconds_;
    tSettled_ = tStrokeEnd_ + kReboundSeconds;
    reversal_ = static_cast<int>(std::lround(tReversal_ / kSamplePeriod));
    strokeEnd_ = static_cast<int>(std::lround(tStrokeEnd_ / kSamplePeriod));
    settled_ = static_cast<int>(std::lround(tSettled_ / kSamplePeriod));
}

double TrunkAttempt::velocityAtTime(double t) const {
    const double s = p_.side;
    if (t < tWindUp_) return 0.0;
    if (t < tReversal_) {
        const double u = (t - tWindUp_) / p_.windUpSeconds;
        return s * p_.windUpDegrees * kPi / (2.0 * p_.windUpSeconds) * std::sin(kPi * u);
    }
    if (t < tStrokeEnd_) return -s * p_.peakVelocity * profile((t - tReversal_) / strokeSeconds_);
    if (t < tSettled_) return s * p_.reboundVelocity * std::sin(kPi * (t - tStrokeEnd_) / kReboundSeconds);
    return 0.0;
}

double TrunkAttempt::angleAtTime(double t) const {
    const double s = p_.side;
    if (t < tWindUp_) return 0.0;
    if (t < tReversal_) {
        const double u = (t - tWindUp_) / p_.windUpSeconds;
        return s * p_.windUpDegrees * (1.0 - std::cos(kPi * u)) / 2.0;
    }
    const double atReversal = s * p_.windUpDegrees;
    const double strokeTravel = p_.peakVelocity * strokeSeconds_;
    if (t < tStrokeEnd_) return atReversal - s * strokeTravel * profileIntegral((t - tReversal_) / strokeSeconds_);
    const double atEnd = atReversal - s * strokeTravel * profileIntegral(1.0);
    const double rebound = s * p_.reboundVelocity * kReboundSeconds / kPi;
    if (t < tSettled_) return atEnd + rebound * (1.0 - std::cos(kPi * (t - tStrokeEnd_) / kReboundSeconds));
    return atEnd + 2.0 * rebound;
}

double TrunkAttempt::angularVelocityAt(int sample) const { return velocityAtTime(sample * kSamplePeriod); }
double TrunkAttempt::angleAt(int sample) const { return angleAtTime(sample * kSamplePeriod); }

void TrunkAttempt::next(int16_t out[6]) {
    const int i = index_++;
    const double w = angularVelocityAt(i);                                  // deg/s
    const double alpha = (angularVelocityAt(i + 1) - angularVelocityAt(i - 1)) / (2.0 * kSamplePeriod);  // deg/s^2
    const double degToRad = kPi / 180.0;
    const double r = p_.sensorLeverMetres;
    const double tangential = r * alpha * degToRad;                        // m/s^2
    const double centripetal = r * (w * degToRad) * (w * degToRad);        // m/s^2
    const double* off = p_.channelOffset;
    out[0] = toCounts(off[0] + tangential * kAccelScale + p_.accelNoise * noise_.gaussian());
    // The bar stays level: gravity keeps pulling along channel 1 through the whole stroke.
    out[1] = toCounts(off[1] - 2048.0 + p_.accelNoise * noise_.gaussian());
    out[2] = toCounts(off[2] - centripetal * kAccelScale + p_.accelNoise * noise_.gaussian());
    // A little of the trunk rotation leaks into the other rate axes (the bar is never held
    // perfectly square).
    out[3] = toCounts(off[3] + 0.02 * w * kRateScale + p_.rateNoise * noise_.gaussian());
    out[4] = toCounts(off[4] + w * kRateScale + p_.rateNoise * noise_.gaussian());
    out[5] = toCounts(off[5] - 0.03 * w * kRateScale + p_.rateNoise * noise_.gaussian());
}

}  // namespace vanta
