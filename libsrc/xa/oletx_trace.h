#pragma once
// The OLE Transactions trace: the DTC layer's lines in the XA trace file,
// under the header of their own. Lines go through the XA trace's writer, so
// they and the XA switch's lines share one lock and never interleave.
#include <cstdint>

// Opens the XA trace file when it is not open; with a file, the trace goes on
// and its two header lines are written.
void OleTx_TraceOpen();
// Closes the XA trace file when the trace has one; later lines are dropped.
void OleTx_TraceClose();
bool OleTx_TraceOn();
// One line: "[thread id] " and the text, whose own "\n" ends it. Nothing
// while the trace is off.
void OleTx_Trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The result line of an HRESULT ("Call success    : ..." for 0 or
// positive, "Call failure >>>: ..." for negative); returns the HRESULT.
int32_t OleTx_TraceHResult(int32_t hr);
// "Call returned: <count>"; returns the count.
uint32_t OleTx_TraceCount(uint32_t count);
const char *OleTx_HResultName(int32_t hr);
