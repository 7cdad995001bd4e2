#include "orvtool.h"
#include <cstdio>
static int tour(const orvtool::Args&) { std::puts("tour"); return 0; }
ORVTOOL_COMMAND(tour, "tour", "tour", "run the library as a host does and show what it logs", tour);
