// The ring between the walker and the scanning threads. Files are numbered
// in walk order as they are handed out; slot n % RING_SLOTS holds file n
// from the moment it is handed out until its report has been let out. The
// threads take the files in number order, so the file the report waits on is
// always among the first taken. The thread that finishes the file at the
// head lets out its report and those of the done files after it, so that
// no report waits on the walker, and the walker, when the ring is full,
// sleeps until a quarter of it is free rather than waking for every file.
// One lock guards the counts and the slots' hand-over; the searching, and
// the writing of reports, run outside it.
#include "walk/ScanRing.h"
#include "engine/report/FileCounts.h"
#include "engine/report/Notices.h"
#include "engine/report/Output.h"
#include "engine/StopFlag.h"
#include "engine/scan/FileSearch.h"
#include "walk/CurrentFile.h"
#include "walk/Walker.h"

// A short (8.3) name with its terminator, as a directory search gives it.
#define SHORT_NAME_CHARS 14
// When the ring is full, the walker sleeps until this many slots are free.
#define HAND_OUT_BATCH (RING_SLOTS / 4)
// Room for the paths of one file: the long form it is opened by, with room to
// put its short name in place of its name, and the path the report shows,
// each with its terminator.
#define PATH_PAIR_BYTES ((OPEN_PATH_CHARS + SHORT_NAME_CHARS + REPORT_PATH_CHARS) * sizeof(WCHAR))
// The room for the paths of the files in the ring, taken and given back in
// walk order. Twice the longest pair, so that the longest fits even where
// the room wraps round; typical paths take a few hundred bytes.
#define RING_PATH_BYTES (2 * PATH_PAIR_BYTES)

// One file in the ring.
struct RingSlot {
    WCHAR* openPath;  // in the path room, set by the walker; openRoom units
    int openRoom;
    int nameAt;                         // where the file's name starts in openPath
    WCHAR shortName[SHORT_NAME_CHARS];  // its short name, or empty
    WCHAR* shownPath;
    ULONGLONG pathsEnd;  // the path room's count of bytes taken, up to the end of these paths
    FileOutput output;   // begun by the walker, written by the thread that searches the file
    DWORD error;         // SearchFoundFile's result: the system's error code, FILE_SKIPPED_BINARY, or 0
    int notice;          // NOTICE_FILE or NOTICE_FOLDER: nothing to search, error to be told; else 0
    BOOL done;           // set under the lock when the search is over
};

struct ScanThread {
    struct ScanRing* ring;
    ScanWorkspace* workspace;
    HANDLE handle;
};

struct ScanRing {
    const SearchRequest* request;
    int slotCount;  // RING_SLOTS, or 1 when the walker searches itself
    RingSlot* slots;
    BYTE* reports;     // slotCount * SLOT_REPORT_BYTES
    FileNotes* notes;  // slotCount of them when the results window lists the hits, else NULL
    BYTE* paths;       // RING_PATH_BYTES
    ScanThread threads[SCAN_THREADS_LIMIT];
    int threadCount;              // running threads; 0 when the walker searches itself
    ScanWorkspace* ownWorkspace;  // the walker's, when it searches itself

    SRWLOCK lock;
    CONDITION_VARIABLE fileHandedOut;  // threads wait here for a file
    CONDITION_VARIABLE roomMade;       // the walker waits here for room, or for the last report
    ULONGLONG handedOut;               // files handed out
    ULONGLONG taken;                   // files taken by a thread
    ULONGLONG letOut;                  // files whose report has been let out: the head is file letOut
    ULONGLONG pathsTaken;              // bytes of the path room ever taken, and given back
    ULONGLONG pathsGiven;
    BOOL lettingOut;          // a thread is letting reports out
    ULONGLONG binarySkipped;  // files passed over as binary, counted by the thread letting reports out
    BOOL walkOver;
    BOOL walkerWaits;       // the walker sleeps on roomMade
    ULONGLONG wantedBytes;  // the path bytes of the file it waits to hand out
};

// The running search's ring, for BreakOffScanningWrites on another thread.
static SRWLOCK RunningLock = SRWLOCK_INIT;
static ScanRing* Running;

static RingSlot* SlotOf(ScanRing* ring, ULONGLONG number)
{
    return &ring->slots[number % (ULONGLONG)ring->slotCount];
}

// Where the next paths of bytes go in the path room, wrapping round to its
// start when they would not fit before its end; how much that takes in all.
static ULONGLONG PathsAt(const ScanRing* ring, ULONGLONG bytes, ULONGLONG* taking)
{
    ULONGLONG at = ring->pathsTaken % RING_PATH_BYTES;
    *taking = at + bytes > RING_PATH_BYTES ? RING_PATH_BYTES - at + bytes : bytes;
    return at + bytes > RING_PATH_BYTES ? 0 : at;
}

// TRUE, under the lock, when slots free slots and room for paths of bytes
// are free.
static BOOL RoomFor(const ScanRing* ring, ULONGLONG bytes, ULONGLONG slots)
{
    ULONGLONG taking;
    PathsAt(ring, bytes, &taking);
    return ring->slotCount - (ring->handedOut - ring->letOut) >= slots &&
           ring->pathsTaken - ring->pathsGiven + taking <= RING_PATH_BYTES;
}

// TRUE, under the lock, when the walker may go on: the ring is empty, or,
// while the walk goes on, a batch of slots and room for the paths it holds
// are free.
static BOOL WalkerMayGo(const ScanRing* ring)
{
    ULONGLONG batch = HAND_OUT_BATCH < ring->slotCount ? HAND_OUT_BATCH : ring->slotCount;
    return ring->letOut == ring->handedOut || (!ring->walkOver && RoomFor(ring, ring->wantedBytes, batch));
}

// Lets out the reports of the files done at the head of the ring, in walk
// order, and gives their slots back; a file that could not be read is named
// at its turn, unless a stop came first. The head still searched gets its
// turn, so that a report that outgrows its buffer goes straight out. Called
// by the one thread that set lettingOut, which it clears when the head is a
// file not done.
static void LetOutDone(ScanRing* ring)
{
    for (;;) {
        AcquireSRWLockExclusive(&ring->lock);
        RingSlot* slot = SlotOf(ring, ring->letOut);
        BOOL ready = ring->letOut < ring->handedOut && slot->done;
        ring->lettingOut = ready;
        if (!ready && ring->letOut < ring->handedOut)
            OutputGiveTurn(&slot->output);
        ReleaseSRWLockExclusive(&ring->lock);
        if (!ready)
            return;
        if (slot->error == FILE_SKIPPED_BINARY) {
            ring->binarySkipped++;
            CountFile(FILES_BINARY);
        } else if (slot->notice == NOTICE_FOLDER && !Stopped())
            TellUnreadableFolder(slot->shownPath, slot->error);
        else if (slot->error && !Stopped())
            TellUnreadableFile(slot->shownPath, slot->error);
        OutputEndFile(&slot->output);
        AcquireSRWLockExclusive(&ring->lock);
        slot->done = FALSE;
        ring->pathsGiven = slot->pathsEnd;
        ring->letOut++;
        if (ring->walkerWaits && WalkerMayGo(ring))
            WakeConditionVariable(&ring->roomMade);
        ReleaseSRWLockExclusive(&ring->lock);
    }
}

// Sleeps, under the lock, until WalkerMayGo.
static void WaitForRoom(ScanRing* ring)
{
    ring->walkerWaits = TRUE;
    while (!WalkerMayGo(ring))
        SleepConditionVariableSRW(&ring->roomMade, &ring->lock, INFINITE, 0);
    ring->walkerWaits = FALSE;
}

// Names again a file still being searched, the one the report waits on,
// when the file just finished was the one shown: the dialog must not name
// a file long done while another is still searched. Under the lock, which
// keeps that file's paths in place.
static void ShowFileStillSearched(ScanRing* ring)
{
    for (ULONGLONG number = ring->letOut; number < ring->taken; number++) {
        RingSlot* slot = SlotOf(ring, number);
        if (!slot->done && !slot->notice) {
            PublishCurrentFile(slot->shownPath);
            return;
        }
    }
}

// Takes the next file handed out and searches it into its report buffer.
// FALSE when the walk is over and every file is taken.
static BOOL SearchNext(ScanRing* ring, ScanWorkspace* workspace, BOOL wait)
{
    AcquireSRWLockExclusive(&ring->lock);
    while (wait && ring->taken == ring->handedOut && !ring->walkOver)
        SleepConditionVariableSRW(&ring->fileHandedOut, &ring->lock, INFINITE, 0);
    if (ring->taken == ring->handedOut) {
        ReleaseSRWLockExclusive(&ring->lock);
        return FALSE;
    }
    ULONGLONG number = ring->taken++;
    RingSlot* slot = SlotOf(ring, number);
    ReleaseSRWLockExclusive(&ring->lock);

    LONG shown = 0;
    // No file is opened after a stop: the files still in the ring are passed
    // over, and the report ends before them.
    if (Stopped()) {
        slot->output.stopped = TRUE;
    } else if (!slot->notice) {
        shown = PublishCurrentFile(slot->shownPath);
        slot->error = SearchFoundFile(slot->openPath, slot->nameAt, slot->openRoom, slot->shortName, slot->shownPath,
                                      ring->request, workspace, &slot->output);
        if (!slot->error)
            CountFile(FILES_SEARCHED);
        // A stop that came meanwhile may have cut the search short.
        slot->output.stopped = Stopped();
    }

    AcquireSRWLockExclusive(&ring->lock);
    slot->done = TRUE;
    if (shown && CurrentFileIsLatest(shown))
        ShowFileStillSearched(ring);
    BOOL head = number == ring->letOut && !ring->lettingOut;
    ring->lettingOut = ring->lettingOut || head;
    ReleaseSRWLockExclusive(&ring->lock);
    if (head)
        LetOutDone(ring);
    return TRUE;
}

static DWORD WINAPI ScanningThread(LPVOID parameter)
{
    ScanThread* thread = (ScanThread*)parameter;
    while (SearchNext(thread->ring, thread->workspace, TRUE)) { }
    return 0;
}

// Puts a file, or a notice, into the next slot of the ring, waiting for room
// as HandOut says.
static void PutInRing(ScanRing* ring, const WCHAR* openPath, int nameAt, const WCHAR* shortName, const WCHAR* shownPath,
                      DWORD error, int notice)
{
    int openChars = lstrlenW(openPath) + 1, shownChars = lstrlenW(shownPath) + 1;
    int openRoom = openChars > nameAt + SHORT_NAME_CHARS ? openChars : nameAt + SHORT_NAME_CHARS;
    ULONGLONG bytes = (ULONGLONG)(openRoom + shownChars) * sizeof(WCHAR);
    if (Stopped())
        return;
    AcquireSRWLockExclusive(&ring->lock);
    if (!RoomFor(ring, bytes, 1)) {
        ring->wantedBytes = bytes;
        WaitForRoom(ring);
        if (Stopped()) {
            ReleaseSRWLockExclusive(&ring->lock);
            return;
        }
    }
    ULONGLONG taking;
    WCHAR* paths = (WCHAR*)(ring->paths + PathsAt(ring, bytes, &taking));
    ring->pathsTaken += taking;
    RingSlot* slot = SlotOf(ring, ring->handedOut);
    slot->openPath = paths;
    slot->openRoom = openRoom;
    slot->nameAt = nameAt;
    lstrcpynW(slot->shortName, shortName, SHORT_NAME_CHARS);
    slot->shownPath = paths + openRoom;
    CopyMemory(slot->openPath, openPath, openChars * sizeof(WCHAR));
    CopyMemory(slot->shownPath, shownPath, shownChars * sizeof(WCHAR));
    slot->pathsEnd = ring->pathsTaken;
    slot->error = error;
    slot->notice = notice;
    BYTE* report = ring->reports + (SIZE_T)(slot - ring->slots) * SLOT_REPORT_BYTES;
    OutputBeginFile(&slot->output, report, SLOT_REPORT_BYTES);
    if (ring->notes)
        OutputKeepNotes(&slot->output, &ring->notes[slot - ring->slots]);
    // The first file of an empty ring is the head: its turn has come.
    if (ring->handedOut == ring->letOut)
        OutputGiveTurn(&slot->output);
    ring->handedOut++;
    WakeConditionVariable(&ring->fileHandedOut);
    ReleaseSRWLockExclusive(&ring->lock);
    // Without threads the walker searches the file, and lets its report out, itself.
    if (ring->threadCount == 0)
        SearchNext(ring, ring->ownWorkspace, FALSE);
}

void HandOut(ScanRing* ring, const WCHAR* openPath, int nameAt, const WCHAR* shortName, const WCHAR* shownPath)
{
    PutInRing(ring, openPath, nameAt, shortName, shownPath, 0, 0);
}

void HandOutNotice(ScanRing* ring, const WCHAR* shownPath, DWORD error, int notice)
{
    PutInRing(ring, L"", 0, L"", shownPath, error, notice);
}

int ScanThreadCount(LONG asked)
{
    if (asked > 0)
        return asked < SCAN_THREADS_LIMIT ? (int)asked : SCAN_THREADS_LIMIT;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = (int)system.dwNumberOfProcessors;
    return processors < 1 ? 1 : processors > SCAN_THREADS_DEFAULT_MAX ? SCAN_THREADS_DEFAULT_MAX : processors;
}

// Starts count threads, each with its workspace; fewer when the system has
// no more to give.
static void StartThreads(ScanRing* ring, int count)
{
    for (int n = 0; n < count; n++) {
        ScanThread* thread = &ring->threads[ring->threadCount];
        thread->ring = ring;
        thread->workspace = NewScanWorkspace(count);
        thread->handle = thread->workspace ? CreateThread(NULL, 0, ScanningThread, thread, 0, NULL) : NULL;
        if (!thread->handle) {
            FreeScanWorkspace(thread->workspace);
            return;
        }
        ring->threadCount++;
    }
}

ScanRing* StartScanRing(const SearchRequest* request)
{
    int threads = ScanThreadCount(request->scanThreads);
    int slots = threads > 1 ? RING_SLOTS : 1;
    SIZE_T slotBytes = ((sizeof(ScanRing) + 63) & ~(SIZE_T)63) + slots * sizeof(RingSlot);
    SIZE_T noteBytes = HitListOn() ? slots * sizeof(FileNotes) : 0;
    SIZE_T bytes = slotBytes + (SIZE_T)slots * SLOT_REPORT_BYTES + RING_PATH_BYTES + noteBytes;
    BYTE* memory = (BYTE*)VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!memory)
        return NULL;
    // Zero-filled by the system: counts at 0, no slot done, no thread.
    ScanRing* ring = (ScanRing*)memory;
    ring->request = request;
    ring->slotCount = slots;
    ring->slots = (RingSlot*)(memory + ((sizeof(ScanRing) + 63) & ~(SIZE_T)63));
    ring->reports = memory + slotBytes;
    ring->paths = ring->reports + (SIZE_T)slots * SLOT_REPORT_BYTES;
    if (noteBytes)
        ring->notes = (FileNotes*)(ring->paths + RING_PATH_BYTES);
    InitializeSRWLock(&ring->lock);
    InitializeConditionVariable(&ring->fileHandedOut);
    InitializeConditionVariable(&ring->roomMade);
    if (threads > 1)
        StartThreads(ring, threads);
    // Without threads, the walker searches each file itself.
    if (ring->threadCount == 0) {
        ring->ownWorkspace = NewScanWorkspace(1);
        if (!ring->ownWorkspace) {
            VirtualFree(memory, 0, MEM_RELEASE);
            return NULL;
        }
    }
    AcquireSRWLockExclusive(&RunningLock);
    Running = ring;
    ReleaseSRWLockExclusive(&RunningLock);
    return ring;
}

ULONGLONG FinishScanRing(ScanRing* ring)
{
    AcquireSRWLockExclusive(&ring->lock);
    ring->walkOver = TRUE;
    WakeAllConditionVariable(&ring->fileHandedOut);
    WaitForRoom(ring);
    ReleaseSRWLockExclusive(&ring->lock);
    HANDLE handles[SCAN_THREADS_LIMIT];
    for (int n = 0; n < ring->threadCount; n++)
        handles[n] = ring->threads[n].handle;
    if (ring->threadCount > 0)
        WaitForMultipleObjects((DWORD)ring->threadCount, handles, TRUE, INFINITE);
    AcquireSRWLockExclusive(&RunningLock);
    Running = NULL;
    ReleaseSRWLockExclusive(&RunningLock);
    for (int n = 0; n < ring->threadCount; n++) {
        CloseHandle(ring->threads[n].handle);
        FreeScanWorkspace(ring->threads[n].workspace);
    }
    FreeScanWorkspace(ring->ownWorkspace);
    ULONGLONG binarySkipped = ring->binarySkipped;
    VirtualFree(ring, 0, MEM_RELEASE);
    return binarySkipped;
}

void BreakOffScanningWrites()
{
    AcquireSRWLockShared(&RunningLock);
    if (Running) {
        for (int n = 0; n < Running->threadCount; n++)
            CancelSynchronousIo(Running->threads[n].handle);
    }
    ReleaseSRWLockShared(&RunningLock);
}
