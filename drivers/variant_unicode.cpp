#include "variant.h"

namespace {
// String resources of this deliverable (see libsrc/util/strres.h for the ids).
constexpr StringRes kStrings[] = {
    {1, "Zezuzeru ODBC Driver for Oracle (Unicode)"},
    {5, "The ODBC layer could not be initialised."},
    {202, "This driver needs a newer operating system."},
    {204, "Zezuzeru Oracle Driver (Unicode)"},
    {0, nullptr},
};
}  // namespace

const DriverVariant g_driverVariant = {true, "kvd7r22xw.so", kStrings};
