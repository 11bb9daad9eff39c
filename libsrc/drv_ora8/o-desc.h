#pragma once
// The agent's result and parameter description operations (DRV_DescribeColumns,
// DRV_DescribeParams, DRV_DescribeColumns2; declared in o-reg.h) and the
// per-type texts of the extended column attributes they hand up.
#include <cstdint>

// Oracle's name of a type code ("NUMBER", "VARCHAR2", ...); "" for a code it
// does not name.
const char *OraTypeName(int32_t oraType);
// Literal prefix and suffix of a type: "'" for character types, "0x" (and
// "") for binary types, else "".
const char *OraLiteralPrefix(int32_t oraType);
const char *OraLiteralSuffix(int32_t oraType);
