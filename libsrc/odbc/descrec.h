#pragma once
// SQLGetDescRec (narrow and W), SQLSetDescRec and SQLCopyDesc. Every field
// goes through DescGetField / DescSetField, so each passes the same checks,
// conversions and statement side effects as SQLGetDescField and
// SQLSetDescField do.
//
// Descriptors are classed the same way throughout: an application
// descriptor is an explicit one or an ARD or APD; a row descriptor is an
// implicit IRD or ARD.
#include "odbc/dispatch.h"

struct Desc;

bool DescIsApplication(const Desc *d);
bool DescIsRow(const Desc *d);
// How the trace names a descriptor: "USER" for an explicit one, else its
// kind ("IRD", "ARD", "IPD", "APD").
const char *DescTraceName(const Desc *d);

// Source descriptor; (64-bit target handle). Refusals and failed reads are
// recorded on the target; a target that is not a live descriptor gives
// SQL_INVALID_HANDLE.
SQLRETURN odbc_CopyDesc(void *object, const ApiArgs &args);
// (16-bit RecNumber, Name, 16-bit BufferLength, 16-bit *StringLength,
// 16-bit *Type, 16-bit *SubType, 64-bit *Length, 16-bit *Precision,
// 16-bit *Scale, 16-bit *Nullable, mode): in mode "W" BufferLength and
// *StringLength count characters.
SQLRETURN odbc_GetDescRec(void *object, const ApiArgs &args);
// (16-bit RecNumber, 16-bit Type, 16-bit SubType, 64-bit Length, 16-bit
// Precision, 16-bit Scale, DataPtr, StringLengthPtr, IndicatorPtr).
SQLRETURN odbc_SetDescRec(void *object, const ApiArgs &args);
