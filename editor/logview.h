// The editor's view of the account: the log's latest lines, newest first,
// as many as fit, read-only, in place of the text until the user goes back.
#pragma once
#include "wince.h"

// The tail of the log that the view reads: more than any screen shows.
#define LOG_VIEW_BYTES 8192
// Events the view can hold.
#define LOG_VIEW_EVENTS 128

// The whole lines of the log's last LOG_VIEW_BYTES bytes, as wide text
// ending in a line end, on the heap. The monitor may be writing the log: it
// is read with every kind of sharing and closed at once, and a last line
// without its line end is left out. NULL when there is no log or no whole
// line in it. When the log is missing, the new file that is to take its
// place (GetAccountNextPath) is read, if there is one; with neither there,
// the temporary file that was to become the new file (GetAccountTempPath).
LPWSTR ReadLogTail(LPCWSTR logPath);

// The sentence that the view begins with, from the configuration file at
// configPath as it is saved; lines is nonzero when the log has lines to
// show. That the file is missing, or could not be read (a writer holds it),
// and no more; else, when its last "#log" line does not turn the account
// on, that no new event is recorded and how to turn it on; else, with no
// line to show, that none has been recorded yet. NULL when the lines need
// no sentence.
LPCWSTR LogViewSentence(LPCWSTR configPath, int lines);

// The view's text on the heap: the sentence, if any, then the lines of tail
// (may be NULL) newest first, a blank line between. ends[i] is the length of
// the text up to the end of the (i + 1)-th newest line; *events counts them
// (at most maxEvents, the oldest beyond are left out). NULL when there is
// nothing to show or no memory.
LPWSTR ComposeLogView(LPCWSTR sentence, LPCWSTR tail, int *ends, int maxEvents, int *events);

// The block ComposeLogView writes the view's text into (malloc; the caller
// frees it). Tests replace it to watch the block's end.
typedef void *(*PFN_LogViewAlloc)(size_t bytes);
extern PFN_LogViewAlloc g_logViewAlloc;

// Rows of text that the edit view shows whole, with its font; at least 1.
int LogViewRows(HWND view);

// How many of the view's first events lie wholly within its first rows
// rows, as its text now stands; at least 1 when there are events, so that
// the newest always shows.
int LogEventsThatFit(HWND view, const int *ends, int events, int rows);
