#pragma once
// The dataset cache: a whole result set (all rows of a static cursor, all
// keys of a keyset) held in the owner's Dataset while it is small, and moved
// into a pair of private temporary files once it grows beyond kDscMemoryRows
// rows. After that only a window of rows stays in memory and is re-read
// from the files on demand.
//
// The files are made with mkstemp (mode 0600) in TMPDIR, or /tmp when it is
// unset, and unlinked at once: no other process can open them, and nothing
// of the user's data stays on disk after a close, an exit or a crash.
//
// Data file: a header {uint32 column count, int64 row count}, a descriptor
// {int32 value type, uint32 element size} per column, then the rows one
// after another, each row its cells in column order. A cell is its indicator
// widened to 4 bytes, followed by the value only when the indicator is 0.
// Index file: the int64 data-file offset of every row. Cells are in the
// machine's byte order: the files are read only by the process that wrote
// them.
//
// Results are SqlStateTable rows (0 success, 15 S1000 for a failed file
// operation or a bad argument, 16 S1001 when memory runs out) or the code of
// the lower fetch.
#include <cstdint>
#include <cstdio>

struct Dataset;
struct DrvObject;

constexpr int32_t kDscMemoryRows = 5000;   // rows held in memory before a spill
constexpr int32_t kDscFetchRows = 200;     // rows read from below per fetch

enum : int32_t { DSC_MEMORY = 0, DSC_OPEN = 1, DSC_SPILLED = 2 };

struct DSC {
  int32_t mode;        // DSC_MEMORY, DSC_OPEN, DSC_SPILLED
  FILE *data;          // data file, none in memory mode
  FILE *index;         // index file, none in memory mode
  int32_t windowRows;  // rows a window read asks for; only grows
  int64_t stored;      // rows the files hold
  int64_t maxRows;     // the most rows a fill takes (row numbers are 32-bit)
};

void DSC_Init(DSC *dsc);
// Closes (and so deletes) both files; mode back to memory. Window rows stay.
void DSC_Close(DSC *dsc);
// Both files created and open, mode DSC_OPEN; 15 when either cannot be made.
int dsc_Open(DSC *dsc);
// A private temporary file opened for update, already unlinked; none on failure.
FILE *dsc_TempFileCreate();

// Reads every row of the lower cursor into ds (and the files once it
// spills), kDscFetchRows rows per DRV_Fetch. Long values the agent left with
// itself are read into their cells first. After success the cache holds
// every row in ds (memory mode) or every row in the files with ds empty
// (spilled); *total (when given) is the number of rows. A result of more
// than maxRows rows fails with 15 rather than number rows it cannot count.
// 74 (IM902): filled all the same, and a fetch below came with the
// database's warning, whose records wait on the lower cursor.
int DSC_Fill(DSC *dsc, const DrvObject *lower, uint32_t cursor, Dataset *ds, int64_t *total);

// Makes the window ds (starting at *windowStart) cover n rows from row
// first (0-based). Memory mode: nothing to do. A covered request costs
// nothing; else the window is re-read: beginning with the request when it
// goes on past the window's end, ending with it when it goes back before
// the window's start, with the request in its middle after a jump. 15
// when the read fails (a first row past the stored rows included); the
// window start then stays.
int DSC_WindowGet(DSC *dsc, int32_t first, int32_t n, int32_t *windowStart, Dataset *ds);

// Rows the files hold (spilled mode), 0 otherwise.
int64_t DSC_StoredRows(const DSC *dsc);

// Reads every long value of ds that the agent left with itself (indicator
// -3) into its cell, by its row in the agent's last block. 74 (IM902): read
// all the same, with the database's warning on a piece.
int scs_p_ReadDeferredCells(const DrvObject *lower, uint32_t cursor, Dataset *ds);

// ---- File coder (exposed for tests) ------------------------------------------

// Writes the whole of ds into empty files.
int dscf_Write(FILE *data, FILE *index, const Dataset *ds);
// Appends every row of ds to files that already hold a set of its layout.
int dscf_Append(FILE *data, FILE *index, const Dataset *ds);
// Replaces ds by the stored rows from first on, at most limit of them
// (limit <= 0: all). 15 when first is past the last stored row.
int dscf_Read(FILE *data, FILE *index, Dataset *ds, int64_t first, int32_t limit);
