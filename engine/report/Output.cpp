// The report writer. A file's lines leave at the file's turn, and only the
// thread whose turn it is writes: the walker for a file searched whole, or
// the file's own scanning thread when its lines outgrow its buffer. A write
// that fails stops the search, as Cancel would: a report with a hole in it
// would look complete.
#include "engine/report/Output.h"
#include "engine/StopFlag.h"
#include "engine/text/VectorSearch.h"

// Bytes shown to a console in one piece.
#define CONSOLE_PART_BYTES 8192

// Set by OutputStart before the search; read by whichever thread has the turn.
static HANDLE Destination;
// A console shows characters, not bytes: the report's ANSI bytes are shown as
// the characters they stand for, whatever the console's own code page is.
static BOOL ToConsole;
// A file on disk, which a failed write can leave with part of a line.
static BOOL ToFile;

// Used only by the thread whose turn it is; read by the entry after the search.
static WCHAR ConsoleText[CONSOLE_PART_BYTES];
static DWORD Failure;       // the first failed write's error code
static BOOL LastLineCut;    // the report file keeps part of a line that it could not be cut back from
static ULONGLONG LinesOut;  // report lines whose line end reached the destination
static ULONGLONG BytesOut;  // bytes that reached the destination

// The turns, which the files' owner gives in walk order. Ended is set, by the
// thread whose turn it is, when nothing more may leave (a write failed, or a
// file that a stop cut short has left), and from then on every wait for a
// turn ends at once. A file's atTurn and Ended change under TurnLock.
static SRWLOCK TurnLock = SRWLOCK_INIT;
static CONDITION_VARIABLE TurnCame = CONDITION_VARIABLE_INIT;
static BOOL Ended;

static BOOL WriteToConsole(const void* bytes, DWORD length, DWORD* written)
{
    *written = 0;
    while (length > 0) {
        // A piece longer than the buffer (a single huge write) goes in parts.
        DWORD part = length < CONSOLE_PART_BYTES ? length : CONSOLE_PART_BYTES;
        int units = MultiByteToWideChar(CP_ACP, 0, (const char*)bytes, (int)part, ConsoleText, CONSOLE_PART_BYTES);
        DWORD shown;
        if (units <= 0 || !WriteConsoleW(Destination, ConsoleText, (DWORD)units, &shown, NULL))
            return FALSE;
        *written += part;
        bytes = (const BYTE*)bytes + part;
        length -= part;
    }
    return TRUE;
}

// Cuts a report file back to the last line end among the bytes of a failed
// write that got in (the bytes start a line, and only a line end is an LF).
// The file's position tells how many got in: a failed write may say none.
// Where the platform refuses to cut (under Wine, a handle the shell opened),
// the part of a line stays and LastLineCut says so.
static void CutBackToWholeLine(const void* bytes, DWORD length, LARGE_INTEGER before)
{
    LARGE_INTEGER zero, after;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(Destination, zero, &after, FILE_CURRENT))
        return;
    LONGLONG got = after.QuadPart - before.QuadPart;
    if (got <= 0 || got > (LONGLONG)length)
        return;
    DWORD whole = (DWORD)got;
    while (whole > 0 && ((const BYTE*)bytes)[whole - 1] != '\n')
        whole--;
    if (whole == got)
        return;
    LARGE_INTEGER end;
    end.QuadPart = before.QuadPart + whole;
    if (!SetFilePointerEx(Destination, end, NULL, FILE_BEGIN) || !SetEndOfFile(Destination))
        LastLineCut = TRUE;
}

// Ends the report: no turn is waited for any more.
static void EndReport()
{
    AcquireSRWLockExclusive(&TurnLock);
    Ended = TRUE;
    WakeAllConditionVariable(&TurnCame);
    ReleaseSRWLockExclusive(&TurnLock);
}

// Writes bytes to the destination; called only with the turn, or after the
// report ended, when it writes nothing.
static void WriteThrough(const void* bytes, DWORD length)
{
    if (Ended)
        return;
    LARGE_INTEGER before, zero;
    zero.QuadPart = 0;
    if (ToFile && !SetFilePointerEx(Destination, zero, &before, FILE_CURRENT))
        before.QuadPart = -1;
    DWORD written = 0;
    BOOL done =
        ToConsole ? WriteToConsole(bytes, length, &written) : WriteFile(Destination, bytes, length, &written, NULL);
    // A line is out once its line end is, whatever becomes of the rest. A
    // report line ends in CR LF and holds no other: one line end each, but
    // for a CR whose LF stayed behind.
    DWORD out = written < length ? written : length;
    if (out > 0)
        LinesOut += CountLineEnds((const BYTE*)bytes, 0, out) - (((const BYTE*)bytes)[out - 1] == '\r');
    BytesOut += out;
    if (!done) {
        DWORD error = GetLastError();
        Failure = error ? error : ERROR_WRITE_FAULT;
    } else if (written != length) {
        // A short write: a file has no room left; a pipe's reader took no
        // more, as when it closed its end.
        Failure = ToFile ? ERROR_DISK_FULL : ERROR_NO_DATA;
    }
    if (!Failure)
        return;
    if (ToFile && before.QuadPart >= 0)
        CutBackToWholeLine(bytes, length, before);
    EndReport();
    RequestStop();
}

void OutputStart(HANDLE handle)
{
    Destination = handle;
    DWORD mode;
    ToConsole = GetConsoleMode(handle, &mode);
    ToFile = GetFileType(handle) == FILE_TYPE_DISK;
    Failure = 0;
    LastLineCut = FALSE;
    LinesOut = 0;
    BytesOut = 0;
    Ended = FALSE;
}

void OutputBeginFile(FileOutput* file, BYTE* buffer, DWORD capacity)
{
    file->buffer = buffer;
    file->capacity = capacity;
    file->used = 0;
    file->whole = 0;
    file->lines = 0;
    file->atTurn = FALSE;
    file->wroteThrough = FALSE;
    file->stopped = FALSE;
    file->notes = NULL;
}

void OutputKeepNotes(FileOutput* file, FileNotes* notes)
{
    file->notes = notes;
    notes->used = 0;
    notes->appended = 0;
    notes->letOut = 0;
    notes->textStart = NULL;
    notes->form = TEXT_ANSI;
    notes->shownPath = notes->openPath = NULL;
    notes->ansiNameBytes = 0;
    notes->fileNumber = NO_HIT_FILE;
}

void OutputGiveTurn(FileOutput* file)
{
    AcquireSRWLockExclusive(&TurnLock);
    file->atTurn = TRUE;
    WakeAllConditionVariable(&TurnCame);
    ReleaseSRWLockExclusive(&TurnLock);
}

// Waits until the file's lines may leave: its owner gave it the turn, or the
// report has ended.
static void WaitForTurn(FileOutput* file)
{
    AcquireSRWLockExclusive(&TurnLock);
    while (!file->atTurn && !Ended)
        SleepConditionVariableSRW(&TurnCame, &TurnLock, INFINITE, 0);
    ReleaseSRWLockExclusive(&TurnLock);
}

// Writes bytes of the file's report out; when it keeps notes, lists the
// lines that have now left whole. Nothing of a write that did not go out
// whole is listed: the list holds the start of the report.
static void LetOut(FileOutput* file, const void* bytes, DWORD length)
{
    ULONGLONG before = BytesOut;
    WriteThrough(bytes, length);
    FileNotes* notes = file->notes;
    if (!notes)
        return;
    // The file's bytes leave one after the other, none of another file between.
    ULONGLONG reportStart = before - notes->letOut;
    notes->letOut += length;
    if (BytesOut - before != length)
        return;
    DWORD out = 0;
    while (out < notes->used && notes->notes[out].end != 0 && notes->notes[out].end <= notes->letOut)
        out++;
    ListNotedLines(notes, out, reportStart);
    for (DWORD n = out; n < notes->used; n++)
        notes->notes[n - out] = notes->notes[n];
    notes->used -= out;
}

// Writes out everything that waits in the file's buffer.
static void WriteWaiting(FileOutput* file)
{
    if (file->used > 0)
        LetOut(file, file->buffer, file->used);
    file->used = 0;
    file->whole = 0;
}

// Writes out the whole lines that wait and moves the start of the line being
// written, if any, to the front of the buffer.
static void WriteWholeLines(FileOutput* file)
{
    DWORD whole = file->whole;
    if (whole == 0)
        return;
    LetOut(file, file->buffer, whole);
    DWORD rest = file->used - whole;
    // Moved in steps no longer than the distance, so that no step overlaps
    // itself: memcpy is all the program takes from the C library.
    for (DWORD done = 0; done < rest; done += whole) {
        DWORD step = rest - done < whole ? rest - done : whole;
        CopyMemory(file->buffer + done, file->buffer + whole + done, step);
    }
    file->used = rest;
    file->whole = 0;
}

void OutputWrite(FileOutput* file, const void* bytes, DWORD length)
{
    if (file->notes)
        file->notes->appended += length;
    if (file->used + (ULONGLONG)length >= file->capacity) {
        // The buffer is full: the lines go out as they come, once every file
        // before this one has left.
        WaitForTurn(file);
        file->wroteThrough = TRUE;
        WriteWholeLines(file);
        // Still no room (no line ended yet): everything waiting goes out.
        if (file->used + (ULONGLONG)length >= file->capacity)
            WriteWaiting(file);
        // A piece that could never fit goes out whole, after what was waiting.
        if (length >= file->capacity) {
            LetOut(file, bytes, length);
            return;
        }
    }
    CopyMemory(file->buffer + file->used, bytes, length);
    file->used += length;
}

void OutputNoteLine(FileOutput* file, ULONGLONG lineAt)
{
    FileNotes* notes = file->notes;
    if (!notes)
        return;
    if (notes->used == FILE_NOTES) {
        // Every line noted is whole: at the file's turn they all leave.
        WaitForTurn(file);
        file->wroteThrough = TRUE;
        WriteWholeLines(file);
        // The report has ended: nothing more leaves, nor is listed.
        if (notes->used == FILE_NOTES)
            notes->used = 0;
    }
    LineNote* note = &notes->notes[notes->used++];
    note->at = notes->appended;
    note->end = 0;
    note->lineAt = lineAt;
}

void OutputEndLine(FileOutput* file)
{
    file->lines++;
    file->whole = file->used;
    FileNotes* notes = file->notes;
    if (notes && notes->used > 0)
        notes->notes[notes->used - 1].end = notes->appended;
}

void OutputEndFile(FileOutput* file)
{
    // The file's search is over: its last line is whole.
    WriteWaiting(file);
    // A report goes no further than the file a stop cut short: the files after
    // it may be searched whole, but one before them may lack lines.
    if (file->stopped && !Ended)
        EndReport();
}

DWORD OutputFailure()
{
    return Failure;
}

BOOL OutputReaderGone()
{
    // Windows says ERROR_NO_DATA or ERROR_BROKEN_PIPE; Wine says
    // ERROR_PIPE_NOT_CONNECTED for a Unix pipe whose reader has closed.
    return Failure == ERROR_NO_DATA || Failure == ERROR_BROKEN_PIPE || Failure == ERROR_PIPE_NOT_CONNECTED;
}

BOOL OutputFoundAny()
{
    return LinesOut != 0;
}

ULONGLONG OutputLinesOut()
{
    return LinesOut;
}

BOOL OutputLastLineCut()
{
    return LastLineCut;
}
