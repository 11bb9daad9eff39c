#pragma once
// The descriptor object: implicit descriptors made with their statement,
// explicit ones allocated on a connection, the record list (record 0 is the
// bookmark record) and the installation of a descriptor's bindings into a
// statement.
#include "odbc/objects.h"

// A new descriptor of the kind (DESC_*) and allocation (DESC_ALLOC_*),
// owned by the statement (implicit) or the connection (explicit), or NULL
// with E_S1001 posted on the owner.
Desc *DescNew(int16_t kind, int16_t alloc, Stmt *stmt, Conn *conn);
// Destroys and frees it; statements that used an explicit descriptor as
// their ARD or APD get their implicit one back with its bindings.
void DescDelete(Desc *desc);
char *DescGetMsg(Desc *desc, int32_t *native);
int DescRecCount(const Desc *desc);
DescRecord *DescGetRec(Desc *desc, int n);
// Appends initialised records until there are n after record 0; 0 or E_S1001.
int DescGrowRecs(Desc *desc, int n);
void DescRecInit(const Desc *desc, DescRecord *rec);
void DescRecReset(DescRecord *rec);
int StmtApplyARD(Stmt *stmt, Desc *desc);
int StmtApplyAPD(Stmt *stmt, Desc *desc);
