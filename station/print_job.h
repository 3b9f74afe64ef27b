// What Print and Print Preview read from the view when they start: the screen's title, the
// page header's texts, the report table's rows and the curve graph's state. The pages are
// drawn from this copy alone, so printing changes nothing on the screen and nothing on the
// screen changes a page half printed.
#pragma once

#include <memory>

#include "reports/printed_report.h"

namespace vanta {

struct PrintJob {
    PrintedReport report;
    // The graph report's drawing; report.graph points to it.
    std::unique_ptr<PaperGraph> graph;

    void setGraph(std::unique_ptr<PaperGraph> g) {
        graph = std::move(g);
        report.graph = graph.get();
    }
};

}  // namespace vanta
