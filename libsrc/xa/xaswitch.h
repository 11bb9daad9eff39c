#pragma once
// The exported XA switch as library detach sees it.

// Ends the XA switch at library detach (after OleTx_Term): writes
// "** normal end **" in the XA trace and closes it when the switch was
// handed out; otherwise does nothing.
void xa_switch_term();
