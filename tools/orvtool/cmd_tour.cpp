// orvtool tour: behaves as a CAD host does and shows what the library does.
#include "orvtool.h"

#include <cstdio>

static int tour(const orvtool::Args& args)
{
    if (!args.empty()) return orvtool::usageError("tour", "tour takes no arguments");
    int failures = 0;
    for (const orvtool::TourStep& step : orvtool::tourSteps()) {
        std::printf("\n== %s ==\n", step.title);
        std::fflush(stdout);
        if (step.run() != 0) {
            std::printf("   (step failed)\n");
            ++failures;
        }
        std::fflush(stdout);
    }
    std::printf("\ntour finished: %zu steps, %d failed\n", orvtool::tourSteps().size(), failures);
    return failures ? 1 : 0;
}

ORVTOOL_COMMAND(tour, "tour", "tour", "run the library as a host does and show what it logs", "tour", tour);
