#include "run_fixture.h"

namespace fm {

// The Extract command records the selected row count in the window's private SelCount before it
// runs the extraction; these tests take its place through this accessor (an explicit
// instantiation may name a private member).
template <int frmFendlemark::*Member> struct SelCountSlot {
    friend int frmFendlemark::*selCountSlot() { return Member; }
};
template struct SelCountSlot<&frmFendlemark::SelCount>;
int frmFendlemark::*selCountSlot();

} // namespace fm

namespace fm::test {

void extractSelected(frmFendlemark& window) {
    window.*selCountSlot() = window.CountSelected();
    window.GoExtract = true;
    window.CheckExtractCabs();
    window.GoExtract = false;
    window.*selCountSlot() = 0;
}

} // namespace fm::test
