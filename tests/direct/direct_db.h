#pragma once
// The process's stand-in database for tests that load a driver directly
// (dm_db's, user scott/tiger), with private ini files beside it so that no
// data source of the machine's is read. "" when it could not be made.
#include <stdlib.h>

#include <string>

#include "../drv_ora8/exec/dm_db.h"

namespace direct {

inline const std::string &Database() {
  static const std::string db = [] {
    const std::string &d = dm_db::Database();
    if (d.empty()) return d;
    const std::string dir = d.substr(0, d.rfind('/'));
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    return d;
  }();
  return db;
}

}  // namespace direct
