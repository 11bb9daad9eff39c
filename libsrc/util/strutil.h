#pragma once
// Small text helpers shared by the SQL translation, catalog, trace and connect
// code. White space is isspace() of the unsigned byte; case-insensitive means
// compared after toupper(). A length of -3 (SQL_NTS) means NUL-terminated.
#include <cstddef>

constexpr int STR_NTS = -3;

// First position of word in text, compared case-insensitively; NULL when absent.
const char *str_find_nocase(const char *text, const char *word);
// After the text's leading white space, the keyword (any case) as a whole
// word: the position after it and after any white space that follows it
// (the terminator when the text ends there); NULL when the keyword does not
// match or is only the start of a longer word.
const char *str_keyword(const char *keyword, const char *text);
// The first character that is not white space.
const char *str_skip_blanks(const char *text);
// Cuts trailing white space in place; the last remaining character, or NULL
// when the text is NULL, empty or all white space (then it becomes empty).
char *str_trim_right(char *text);
// Copies text to dest; returns the position of the copied terminator.
char *str_copy_end(char *dest, const char *text);
// *out = new heap copy of n bytes (or the whole text for -3) plus NUL; a NULL
// text copies as empty; *out = NULL when out of memory. Returns 0.
int str_copy_len(char **out, const char *text, int n);
// As str_copy_len, leaving out a matching pair of ' or " quotes around a text
// longer than one character.
int str_copy_unquoted(char **out, const char *text, int n);
// New heap text quote + text + quote; a blank quote gives a plain copy.
char *str_quote(const char *text, int n, char quote);
// New heap copy without quote at both ends (text longer than one character,
// not for a blank quote); otherwise a plain copy; NULL text -> "".
char *str_unquote(const char *text, int n, char quote);

enum PathExtMode : int { PATH_EXT_REMOVE = 0, PATH_EXT_REPLACE = 1, PATH_EXT_ADD = 2 };
// Works on a copy of path in one static buffer of 260 bytes and returns it.
// The file name is the part after the last '/'; its extension starts at its
// last '.' unless that is the name's first character.
char *path_set_ext(const char *path, const char *ext, int mode);

// The running program's name as the driver reports it: from the command line
// (/proc/self/cmdline, arguments joined by blanks), after its last '/', up to
// its last '.' (else its first blank), upper-cased; "Unknown" when empty.
// Computed once per process.
const char *get_program_name();
// The same rule applied to a given command line (out holds at least 255 bytes).
void program_name_from_command_line(const char *commandLine, char *out, size_t outSize);

// Sets (non-empty value) or removes (NULL or empty value) one entry of the
// process environment, matching the name case-insensitively. Safe beside
// threads reading the environment: an entry that already holds the value is
// left alone, and a change publishes a new array, freeing nothing a reader
// may hold. 0, or -1 when out of memory.
int env_set_private(const char *name, const char *value);
