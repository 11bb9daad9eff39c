#pragma once
// String resources: each deliverable compiles in its own table
// (drivers/variant_*.cpp, g_driverVariant.strings).

enum StringResId : unsigned {
  IDS_CAPTION = 1,              // caption of the driver's messages
  IDS_LAYER_INIT_FAILED = 5,    // the load is refused: the ODBC layer failed
  IDS_NEEDS_WIN32 = 202,        // the load is refused: unsupported system
  IDS_DRIVER_DESCRIPTION = 204  // product, Oracle release, " (Unicode)" in the Unicode driver
};

// The text of a string resource, "" when this deliverable has none.
const char *StringResource(unsigned id);
// Copies the text into buf, cut to size - 1 bytes and NUL (whole UTF-8
// characters); returns the bytes copied, 0 when size is 0 or less.
int LoadStringRes(unsigned id, char *buf, int size);
