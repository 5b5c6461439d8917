// Starts a program the way a calling tool does: with STARTF_USESTDHANDLES and
// a pipe as its standard output, copying what arrives to this program's own
// standard output, and returns the program's exit code. Under Wine a program
// started from a Unix shell never sees that flag, so the end-to-end tests run
// Seekline.exe through this. Usage: seekline_launcher PROGRAM
#include <windows.h>
#include <shellapi.h>

int main()
{
    int count;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 2)
        return 120;
    WCHAR commandLine[MAX_PATH + 3];
    wsprintfW(commandLine, L"\"%.*s\"", MAX_PATH, arguments[1]);

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return 121;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(arguments[1], commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return 122;
    // Only the child holds the write end now, so the pipe ends when it does.
    CloseHandle(writeEnd);

    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    char chunk[4096];
    DWORD got, written;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0)
        WriteFile(out, chunk, got, &written, NULL);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 123;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    LocalFree(arguments);
    return (int)exitCode;
}
