// A test whose repetition 0 holds chosen values of the graph quantities, for the curve
// graph's tests: velocity (code 0), position (1), linear velocity (2) and force (3, with a
// load of 1 kg the force is the stored acceleration).
#pragma once

#include <memory>

#include "core/records.h"
#include "graphs/graph_view_state.h"
#include "storage/settings_file.h"

namespace vanta {

struct GraphTest {
    std::unique_ptr<TestRecord> test = std::make_unique<TestRecord>();
    GraphSettings settings;
    GraphViewState view;

    // Repetition 0 with n samples, shown over its stroke range.
    explicit GraphTest(int n) {
        test->repetitionCount = 1;
        test->repetitions[0].sampleCount = n;
        test->repetitions[0].loadMass = 1.0f;
        view.y1 = 0;
        view.y2 = 3;
        showRepetition(view, *test, 0);
    }
    void set(int quantity, int sample, float value) {
        static constexpr SeriesKind kinds[4] = {SeriesAngularVelocity, SeriesPosition, SeriesLinearVelocity,
                                                SeriesLinearAcceleration};
        test->series[0].writable(kinds[quantity])[sample] = value;
    }
    void window(int start, int end) {
        view.windowStart = view.cursorLeft = start;
        view.windowEnd = view.cursorRight = end;
    }
};

}  // namespace vanta
