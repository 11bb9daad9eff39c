#pragma once
// What differs between the two deliverables built from this tree. Each driver
// library links exactly one definition of g_driverVariant (drivers/variant_*.cpp).

struct DriverVariant {
  bool unicode;          // the Unicode driver: W exports and the agent's wide mode
  const char *fileName;  // the library's file name, as SQL_DRIVER_NAME reports it
  // Compiled-in string resources of this deliverable, {id, text}, ended by {0, nullptr}.
  const struct StringRes *strings;
};

struct StringRes {
  unsigned id;
  const char *text;
};

extern const DriverVariant g_driverVariant;
