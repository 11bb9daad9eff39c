#pragma once
// The exported XA switch: a transaction monitor's entry into the driver as
// an X/Open resource manager. An xa_open opens an ordinary connection of
// this driver with the xa_info string as its connection string and asks the
// agent to open the XA session of it; the verbs of the opening thread find
// that connection by rmid.
#include <sql.h>

#include <cstddef>

struct xa_switch_t;

// The switch record, filled once; tvx_xa_switch hands it out.
xa_switch_t *xa_switch_record();
// Opens the XA trace and fills the record, once per process.
int xa_switch_init();
// Ends the XA switch at library detach (after the DTC layer): writes
// "** normal end **" in the XA trace and closes it when the switch was
// started; otherwise does nothing.
void xa_switch_term();

// The name of an XA result code for the trace's result lines.
const char *xa_code_name(int code);
// The data source name of an xa_info connection string (its "DSN" item,
// trailing blanks cut, at most 255 characters): true when there is one.
bool xa_info_dsn(const char *xaInfo, char out[256]);
// The data source's "XaInfo" value of odbc.ini into out (size bytes): empty
// when it has none; false when it does not fit.
bool xa_dsn_xainfo(const char *dsn, char *out, size_t size);

// The calling thread's handles of its latest open XA connection.
SQLRETURN xa_get_env(SQLHENV *out);
SQLRETURN xa_get_connect(SQLHDBC *out);
