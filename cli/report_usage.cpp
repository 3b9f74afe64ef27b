// The name and the help of vantacheck-cli report, in vantacheck-cli itself: its overview
// and report --help answer without Qt, and without the program that draws the PDF.
#include "cli/commands.h"

namespace vanta::cli {

Command reportCommand(int (*run)(const Args& args)) {
    return {"report", "report FILE.kvq --repetition N --kind digital|graph [--y1 Q] [--y2 Q] --pdf OUT.pdf   the printed report as PDF",
            "Usage: vantacheck-cli report FILE.kvq --repetition N --kind digital|graph [--y1 Q] [--y2 Q] --pdf OUT.pdf\n"
            "Writes the report the station prints for repetition N (1 is the first) into a PDF\n"
            "file on A4, without a window:\n"
            "  --kind digital   the digital report table (\"DIGITAL REPORT\")\n"
            "  --kind graph     the readout panel and the curve graph (\"Graph report\") over the\n"
            "                   whole stroke, the cursors at sample 100 and N - 150, autoscaled\n"
            "  --y1 Q, --y2 Q   the quantities on the left and right axis (default 0 and 3):\n"
            "                   0 velocity (deg/s), 1 Position (deg), 2 velocity (cm/s),\n"
            "                   3 Force (N), 4 Power (W)\n"
            "The page header shows repetition N. Numbers follow the user's locale, as on the\n"
            "station's own printout.\n",
            run};
}

}  // namespace vanta::cli
