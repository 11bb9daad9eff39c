// The RETURNING ... INTO clause of a DML statement (oci_returning.cpp).
#pragma once

#include <string>
#include <vector>

namespace ocl {

struct ReturnItem {
  std::string column;  // upper-case unless quoted
  std::string name;    // placeholder name without the colon
  int position = 0;    // OCIBindByPos position of the placeholder
};

struct Returning {
  std::string schema, table;  // the DML's target ("" schema: the session's own)
  std::vector<ReturnItem> items;
};

// Cuts "RETURNING col, ... INTO :p, ..." off the end of an INSERT, UPDATE or
// DELETE. False (and nothing changed) when the text has no such clause or one
// this layer does not handle (expressions other than columns).
bool split_returning(const std::string& text, std::string* stripped, Returning* out);

}  // namespace ocl
