// The report writer on a real file handle: each file's buffer and when it
// writes out, the walk order of the files' reports whichever thread writes
// them, and a failed write.
#include "engine/report/Output.h"
#include "engine/StopFlag.h"
#include "tests/support/ImportPatch.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>

extern "C" BOOL(WINAPI* __imp_WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

namespace {

#define BUFFER_BYTES 8192

LONGLONG WrittenSoFar(const ReportCapture& capture)
{
    LARGE_INTEGER size;
    GetFileSizeEx(capture.handle, &size);
    return size.QuadPart;
}

// A file's report with a buffer of its own.
struct TestFile {
    FileOutput output;
    BYTE buffer[BUFFER_BYTES];
};

void Write(TestFile* file, const std::string& bytes)
{
    OutputWrite(&file->output, bytes.data(), (DWORD)bytes.size());
}

void WriteLine(TestFile* file, const std::string& line)
{
    Write(file, line);
    OutputEndLine(&file->output);
}

class Output : public testing::Test {
protected:
    void SetUp() override { CaptureStart(&capture); }
    void TearDown() override { ClearStop(); }
    // As the walker's ring begins a file; one whose turn has not come
    // waits, as a file behind the head of the ring does.
    void Begin(TestFile* file, DWORD capacity = BUFFER_BYTES, bool atTurn = true)
    {
        OutputBeginFile(&file->output, file->buffer, capacity);
        if (atTurn)
            OutputGiveTurn(&file->output);
    }
    ReportCapture capture;
};

TEST_F(Output, WritesBeforeThePieceThatWouldFillTheBuffer)
{
    TestFile file;
    Begin(&file);
    std::string first(8000, 'a'), second(200, 'b');
    Write(&file, first);
    EXPECT_EQ(WrittenSoFar(capture), 0);
    Write(&file, second);
    EXPECT_EQ(WrittenSoFar(capture), 8000);
    EXPECT_EQ(file.output.used, 200u);
    OutputEndFile(&file.output);
    EXPECT_EQ(CaptureFinish(&capture), first + second);
}

TEST_F(Output, RunningFullWritesOutTheWholeLinesAndKeepsTheLineBeingWritten)
{
    TestFile file;
    Begin(&file);
    std::string header(1000, 'h'), text(1998, 't'), report;
    for (int line = 1; line <= 3; line++) {
        Write(&file, header);
        Write(&file, text);
        if (line == 3) {
            EXPECT_EQ(WrittenSoFar(capture), 6000) << "two whole lines, not the third's header";
            EXPECT_EQ(file.output.used, 2998u);
        }
        WriteLine(&file, "\r\n");
        report += header + text + "\r\n";
    }
    EXPECT_EQ(file.output.lines, 3u);
    OutputEndFile(&file.output);
    EXPECT_TRUE(OutputFoundAny());
    EXPECT_EQ(CaptureFinish(&capture), report);
}

TEST_F(Output, FillsAnEmptyBufferToTheLastByteWithoutWriting)
{
    TestFile file;
    Begin(&file);
    std::string piece(BUFFER_BYTES - 1, 'x');
    Write(&file, piece);
    EXPECT_EQ(WrittenSoFar(capture), 0);
    Write(&file, "y");
    EXPECT_EQ(WrittenSoFar(capture), BUFFER_BYTES - 1);
    OutputEndFile(&file.output);
    EXPECT_EQ(CaptureFinish(&capture), piece + "y");
}

TEST_F(Output, WritesPiecesLargerThanTheBufferWholeAndInOrder)
{
    TestFile file;
    Begin(&file);
    std::string small(100, 's'), large(20000, 'L');
    Write(&file, small);
    Write(&file, large);
    EXPECT_EQ(file.output.used, 0u);
    Write(&file, "end");
    OutputEndFile(&file.output);
    EXPECT_EQ(CaptureFinish(&capture), small + large + "end");
}

TEST_F(Output, AFileWithoutLinesWritesNothing)
{
    TestFile file;
    Begin(&file);
    OutputEndFile(&file.output);
    EXPECT_EQ(WrittenSoFar(capture), 0);
    EXPECT_FALSE(OutputFoundAny());
    EXPECT_EQ(CaptureFinish(&capture), "");
}

struct Overflow {
    TestFile* file;
    std::string lines;
};

DWORD WINAPI WriteManyLines(LPVOID parameter)
{
    Overflow* overflow = (Overflow*)parameter;
    for (int n = 0; n < 10; n++) {
        std::string line = "second file, line " + std::to_string(n) + std::string(40, '.') + "\r\n";
        WriteLine(overflow->file, line);
        overflow->lines += line;
    }
    return 0;
}

TEST_F(Output, AFileWhoseLinesOutgrowItsBufferWaitsForTheFilesBeforeIt)
{
    // The second file's thread fills its small buffer while the first file
    // is still searched: it must wait, writing nothing, until the first has
    // left, and then write straight through.
    TestFile first, second;
    Begin(&first);
    Begin(&second, 200, false);
    Overflow overflow = {&second, ""};
    HANDLE thread = CreateThread(NULL, 0, WriteManyLines, &overflow, 0, NULL);
    ASSERT_TRUE(thread != NULL);
    EXPECT_EQ(WaitForSingleObject(thread, 300), (DWORD)WAIT_TIMEOUT) << "it did not wait for its turn";
    EXPECT_EQ(WrittenSoFar(capture), 0);
    WriteLine(&first, "first file\r\n");
    OutputEndFile(&first.output);
    OutputGiveTurn(&second.output);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_GT(WrittenSoFar(capture), 200) << "the lines did not go straight through";
    OutputEndFile(&second.output);
    EXPECT_EQ(CaptureFinish(&capture), "first file\r\n" + overflow.lines);
}

TEST_F(Output, NothingLeavesAfterAFileThatAStopCutShort)
{
    // The second file's search was cut short by a stop; the third was
    // searched whole, but may not follow a report with lines missing, and
    // its lines are dropped even where they outgrow its buffer.
    TestFile files[4];
    for (TestFile& file : files)
        Begin(&file, 100);
    WriteLine(&files[0], "one\r\n");
    WriteLine(&files[1], "two\r\n");
    files[1].output.stopped = TRUE;
    WriteLine(&files[2], "three\r\n");
    OutputEndFile(&files[0].output);
    OutputEndFile(&files[1].output);
    for (int n = 0; n < 10; n++)
        WriteLine(&files[3], std::string(30, 'x') + "\r\n");
    OutputEndFile(&files[2].output);
    OutputEndFile(&files[3].output);
    EXPECT_EQ(OutputFailure(), 0u);
    EXPECT_EQ(CaptureFinish(&capture), "one\r\ntwo\r\n");
}

TEST_F(Output, AFailedWriteStopsTheSearchAndIsKept)
{
    CaptureFinish(&capture);
    OutputStart(INVALID_HANDLE_VALUE);
    TestFile file;
    Begin(&file);
    std::string piece(5000, 'z');
    Write(&file, piece);
    EXPECT_EQ(OutputFailure(), 0u);
    EXPECT_FALSE(Stopped());
    Write(&file, piece);
    EXPECT_EQ(OutputFailure(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(Stopped());
    OutputEndFile(&file.output);
    EXPECT_EQ(file.output.used, 0u);
    EXPECT_EQ(OutputFailure(), (DWORD)ERROR_INVALID_HANDLE) << "the first failure is the one kept";
}

// A destination with room for only so many more bytes: a write lets in what
// fits and then fails, as on a full disk.
LONGLONG room;
BOOL(WINAPI* realWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

BOOL WINAPI WriteIntoRoom(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
{
    DWORD fits = (LONGLONG)length < room ? length : (DWORD)room;
    realWriteFile(file, bytes, fits, written, overlapped);
    room -= fits;
    if (fits == length)
        return TRUE;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(Output, AFailedWriteLeavesTheReportFileWithWholeLines)
{
    // The first file's report gets in; the second's write lets in a given
    // number of its bytes: the file is cut back to the last whole line among
    // them, never into the first file's report.
    const std::string earlier = "a.c(1,1) : first\r\n";
    const std::string lines = "b.c(1,1) : one\r\nb.c(2,1) : two\r\nb.c(3,1) : three\r\n";
    const struct {
        LONGLONG letIn;     // bytes of the second write that get in
        size_t wholeLines;  // bytes of it the file keeps
    } cases[] = {
        {0, 0},
        {5, 0},
        {16, 16},  // exactly one line
        {17, 16},
        {35, 32},                          // more than one whole line, then part of the third
        {(LONGLONG)lines.size() - 1, 32},  // all but the last line's LF
    };
    CaptureFinish(&capture);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letIn);
        CaptureStart(&capture);
        TestFile first, second;
        Begin(&first);
        Begin(&second);
        WriteLine(&first, earlier);
        Write(&second, lines);
        room = (LONGLONG)earlier.size() + c.letIn;
        realWriteFile = PatchImport(&__imp_WriteFile, WriteIntoRoom);
        OutputEndFile(&first.output);
        OutputEndFile(&second.output);
        PatchImport(&__imp_WriteFile, realWriteFile);
        EXPECT_EQ(OutputFailure(), (DWORD)ERROR_DISK_FULL);
        EXPECT_EQ(CaptureFinish(&capture), earlier + lines.substr(0, c.wholeLines));
        ClearStop();
    }
}

}  // namespace
