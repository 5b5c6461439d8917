// The results window's list of hits: address space reserved once, committed
// as the list fills, given back between searches.
#include "engine/report/HitList.h"
#include <atomic>

// Memory is committed this much at a time.
#define COMMIT_STEP ((SIZE_T)1 << 20)

// A reserved range of address space, committed from its start.
struct Region {
    BYTE* base;
    SIZE_T reserved;
    SIZE_T committed;
};

// Written by the thread with the turn (ListNotedLines, ListUnreadableFile);
// the counts are read by the user-interface thread.
static Region Hits, Files, Paths, Unreadable;
static SIZE_T PathUnits;
static std::atomic<BOOL> Full;
static std::atomic<ULONGLONG> HitCount;
static std::atomic<DWORD> FileCount;
static std::atomic<DWORD> UnreadableCount;
// Set and cleared by the run, on the user-interface thread, while no search runs.
static BOOL On;

static BOOL Reserve(Region* region, SIZE_T bytes)
{
    region->base = (BYTE*)VirtualAlloc(NULL, bytes, MEM_RESERVE, PAGE_READWRITE);
    region->reserved = region->base ? bytes : 0;
    region->committed = 0;
    return region->base != NULL;
}

static void Release(Region* region)
{
    if (region->base)
        VirtualFree(region->base, 0, MEM_RELEASE);
    region->base = NULL;
    region->reserved = region->committed = 0;
}

// Commits the region up to bytes from its start; FALSE when that is past
// its end or the system has no memory for it.
static BOOL CommitUpTo(Region* region, SIZE_T bytes)
{
    if (bytes <= region->committed)
        return TRUE;
    if (bytes > region->reserved)
        return FALSE;
    SIZE_T end = (bytes + COMMIT_STEP - 1) & ~(COMMIT_STEP - 1);
    if (end > region->reserved)
        end = region->reserved;
    if (!VirtualAlloc(region->base + region->committed, end - region->committed, MEM_COMMIT, PAGE_READWRITE))
        return FALSE;
    region->committed = end;
    return TRUE;
}

static void Decommit(Region* region)
{
    if (region->committed)
        VirtualFree(region->base, region->committed, MEM_DECOMMIT);
    region->committed = 0;
}

BOOL StartHitList()
{
    if (Reserve(&Hits, (SIZE_T)HIT_LIST_MOST * sizeof(HitRecord)) &&
        Reserve(&Files, (SIZE_T)HIT_FILES_MOST * sizeof(HitFile)) &&
        Reserve(&Paths, (SIZE_T)HIT_PATH_UNITS_MOST * sizeof(WCHAR)) &&
        Reserve(&Unreadable, (SIZE_T)HIT_FILES_MOST * sizeof(UnreadableFile))) {
        ClearHitList();
        On = TRUE;
        return TRUE;
    }
    EndHitList();
    return FALSE;
}

void EndHitList()
{
    On = FALSE;
    Release(&Unreadable);
    Release(&Paths);
    Release(&Files);
    Release(&Hits);
}

BOOL HitListOn()
{
    return On;
}

void ClearHitList()
{
    HitCount.store(0);
    FileCount.store(0);
    UnreadableCount.store(0);
    PathUnits = 0;
    Full.store(FALSE);
    Decommit(&Hits);
    Decommit(&Files);
    Decommit(&Paths);
    Decommit(&Unreadable);
}

// Copies the path into the list's room; NULL when the room is full.
static const WCHAR* KeepPath(const WCHAR* path)
{
    SIZE_T units = (SIZE_T)lstrlenW(path) + 1;
    if (!CommitUpTo(&Paths, (PathUnits + units) * sizeof(WCHAR)))
        return NULL;
    WCHAR* kept = (WCHAR*)Paths.base + PathUnits;
    CopyMemory(kept, path, units * sizeof(WCHAR));
    PathUnits += units;
    return kept;
}

// Lists the file of the notes on its first hit; FALSE when it does not fit.
static BOOL ListFile(FileNotes* notes)
{
    if (notes->fileNumber != NO_HIT_FILE)
        return TRUE;
    DWORD number = FileCount.load(std::memory_order_relaxed);
    if (number >= HIT_FILES_MOST || !CommitUpTo(&Files, (SIZE_T)(number + 1) * sizeof(HitFile)))
        return FALSE;
    HitFile* file = (HitFile*)Files.base + number;
    file->shownPath = KeepPath(notes->shownPath);
    file->openPath = file->shownPath ? KeepPath(notes->openPath) : NULL;
    if (!file->openPath)
        return FALSE;
    file->form = notes->form;
    file->ansiNameBytes = notes->ansiNameBytes;
    notes->fileNumber = number;
    FileCount.store(number + 1, std::memory_order_release);
    return TRUE;
}

void ListNotedLines(FileNotes* notes, DWORD count, ULONGLONG reportStart)
{
    if (count == 0 || Full)
        return;
    ULONGLONG listed = HitCount.load(std::memory_order_relaxed);
    if (listed + count > HIT_LIST_MOST || !CommitUpTo(&Hits, (SIZE_T)(listed + count) * sizeof(HitRecord)) ||
        !ListFile(notes)) {
        // The list ends here, so that what it holds is the start of the report.
        Full.store(TRUE);
        return;
    }
    HitRecord* records = (HitRecord*)Hits.base + listed;
    for (DWORD n = 0; n < count; n++) {
        const LineNote* note = &notes->notes[n];
        records[n].reportAt = reportStart + note->at;
        records[n].lineAt = note->lineAt;
        records[n].file = notes->fileNumber;
    }
    HitCount.store(listed + count, std::memory_order_release);
}

void ListUnreadableFile(const WCHAR* shownPath, DWORD error)
{
    DWORD number = UnreadableCount.load(std::memory_order_relaxed);
    if (number >= HIT_FILES_MOST || !CommitUpTo(&Unreadable, (SIZE_T)(number + 1) * sizeof(UnreadableFile)))
        return;
    UnreadableFile* file = (UnreadableFile*)Unreadable.base + number;
    file->shownPath = KeepPath(shownPath);
    file->error = error;
    if (file->shownPath)
        UnreadableCount.store(number + 1, std::memory_order_release);
}

ULONGLONG ListedHits()
{
    return HitCount.load(std::memory_order_acquire);
}

DWORD ListedFiles()
{
    return FileCount.load(std::memory_order_acquire);
}

DWORD ListedUnreadableFiles()
{
    return UnreadableCount.load(std::memory_order_acquire);
}

BOOL HitListFull()
{
    return Full.load();
}

const HitRecord* ListedHit(ULONGLONG number)
{
    return (const HitRecord*)Hits.base + number;
}

const HitFile* ListedFile(DWORD number)
{
    return (const HitFile*)Files.base + number;
}

const UnreadableFile* ListedUnreadableFile(DWORD number)
{
    return (const UnreadableFile*)Unreadable.base + number;
}
