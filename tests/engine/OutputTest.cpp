// The report buffer's flush rule, on a real file handle.
#include "engine/Output.h"
#include "engine/ProcessState.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>

namespace {

LONGLONG WrittenSoFar(const ReportCapture& capture)
{
    LARGE_INTEGER size;
    GetFileSizeEx(capture.handle, &size);
    return size.QuadPart;
}

TEST(Output, FlushesBeforeThePieceThatWouldFillTheBuffer)
{
    ReportCapture capture;
    CaptureStart(&capture);
    std::string first(8000, 'a'), second(200, 'b');
    OutputWrite(first.data(), (DWORD)first.size());
    EXPECT_EQ(WrittenSoFar(capture), 0);
    OutputWrite(second.data(), (DWORD)second.size());
    EXPECT_EQ(WrittenSoFar(capture), 8000);
    EXPECT_EQ(OutputBuffer.used, 200u);
    EXPECT_EQ(OutputBuffer.cursor, OutputBuffer.base + 200);
    EXPECT_EQ(CaptureFinish(&capture), first + second);
}

TEST(Output, RunningFullWritesOutTheWholeLinesAndKeepsTheLineBeingWritten)
{
    ReportCapture capture;
    CaptureStart(&capture);
    std::string header(1000, 'h'), text(1998, 't'), report;
    for (int line = 1; line <= 3; line++) {
        OutputWrite(header.data(), (DWORD)header.size());
        OutputWrite(text.data(), (DWORD)text.size());
        if (line == 3) {
            EXPECT_EQ(WrittenSoFar(capture), 6000) << "two whole lines, not the third's header";
            EXPECT_EQ(OutputBuffer.used, 2998u);
        }
        OutputWrite("\r\n", 2);
        OutputEndLine();
        report += header + text + "\r\n";
    }
    EXPECT_EQ(OutputBuffer.lines, 3u);
    EXPECT_EQ(CaptureFinish(&capture), report);
}

TEST(Output, FillsAnEmptyBufferToTheLastByteWithoutWriting)
{
    ReportCapture capture;
    CaptureStart(&capture);
    std::string piece(OUTPUT_BUFFER_BYTES - 1, 'x');
    OutputWrite(piece.data(), (DWORD)piece.size());
    EXPECT_EQ(WrittenSoFar(capture), 0);
    OutputWrite("y", 1);
    EXPECT_EQ(WrittenSoFar(capture), OUTPUT_BUFFER_BYTES - 1);
    EXPECT_EQ(CaptureFinish(&capture), piece + "y");
}

TEST(Output, WritesPiecesLargerThanTheBufferWholeAndInOrder)
{
    ReportCapture capture;
    CaptureStart(&capture);
    std::string small(100, 's'), large(20000, 'L');
    OutputWrite(small.data(), (DWORD)small.size());
    OutputWrite(large.data(), (DWORD)large.size());
    EXPECT_EQ(OutputBuffer.used, 0u);
    OutputWrite("end", 3);
    EXPECT_EQ(CaptureFinish(&capture), small + large + "end");
}

TEST(Output, FlushWithNothingWaitingWritesNothing)
{
    ReportCapture capture;
    CaptureStart(&capture);
    OutputFlush();
    EXPECT_EQ(WrittenSoFar(capture), 0);
    EXPECT_EQ(CaptureFinish(&capture), "");
}

TEST(Output, AFailedWriteStopsTheSearchAndIsKept)
{
    OutputStart(INVALID_HANDLE_VALUE);
    std::string piece(5000, 'z');
    OutputWrite(piece.data(), (DWORD)piece.size());
    EXPECT_EQ(OutputBuffer.failure, 0u);
    EXPECT_EQ(StopRequested.load(), 0);
    OutputWrite(piece.data(), (DWORD)piece.size());
    EXPECT_EQ(OutputBuffer.failure, (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(StopRequested.load(), 1);
    OutputFlush();
    EXPECT_EQ(OutputBuffer.used, 0u);
    EXPECT_EQ(OutputBuffer.failure, (DWORD)ERROR_INVALID_HANDLE) << "the first failure is the one kept";
    OutputRelease();
    StopRequested = 0;
}

}  // namespace
