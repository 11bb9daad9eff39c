#include "variant.h"

namespace {
// String resources of this deliverable (see libsrc/util/strres.h for the ids).
constexpr StringRes kStrings[] = {
    {1, "Zezuzeru ODBC"},
    {5, "Unable to initialize the ODBC layer."},
    {202, "The Zezuzeru ODBC driver requires Win32."},
    {204, "Zezuzeru Oracle Driver"},
    {0, nullptr},
};
}  // namespace

const DriverVariant g_driverVariant = {false, "kvd7r22x.so", kStrings};
