// Stand-in for the extraction run until the real one lands: it launches nothing, and ends the
// way the run ends when it has nothing to launch.

#include "app/main_window.h"

namespace fm {

void frmFendlemark::CheckExtractCabs() {
    if (GoExtract)
        ExtractCabs(SelCount);
}

void frmFendlemark::ExtractCabs(int count) {
    ShowExtracted(count);
    RefreshLists();
}

} // namespace fm
