// Starts a program the way other programs do, for the end-to-end tests:
//   seekline_launcher PROGRAM [ARGUMENTS...]
//     as a calling tool does: STARTF_USESTDHANDLES and a pipe as standard
//     output, copying what arrives to this program's own standard output
//     (under Wine a program started from a Unix shell never sees that flag);
//   seekline_launcher --no-output PROGRAM [ARGUMENTS...]
//     as Explorer starts a GUI program: no standard output or error at all;
//   seekline_launcher --command-line LINE
//     the same with LINE started as it stands, as Explorer starts a command
//     registered for its menus (the folder put in by the caller).
// Each returns the program's exit code.
//   seekline_launcher --hold FILE
//     holds FILE open, as an editor may, until standard input ends;
//   seekline_launcher --lock FILE
//     the same, sharing it with nobody, so that no other program reads it
//     (a folder too: then no program lists it).
#include <windows.h>
#include <shellapi.h>

#define COMMAND_CHARS 16384

// Appends argument quoted so that CommandLineToArgvW reads it back as it is:
// backslashes count only in front of a quote.
static void AppendQuoted(WCHAR* line, int* used, const WCHAR* argument)
{
    int n = *used;
    line[n++] = L' ';
    line[n++] = L'"';
    for (const WCHAR* c = argument;; c++) {
        int backslashes = 0;
        while (*c == L'\\') {
            backslashes++;
            c++;
        }
        int copies = *c == 0 ? backslashes * 2 : *c == L'"' ? backslashes * 2 + 1 : backslashes;
        while (copies-- > 0 && n < COMMAND_CHARS - 4)
            line[n++] = L'\\';
        if (*c == 0 || n >= COMMAND_CHARS - 4)
            break;
        line[n++] = *c;
    }
    line[n++] = L'"';
    line[n] = 0;
    *used = n;
}

static int Hold(const WCHAR* path, DWORD share)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 124;
    DWORD got;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &got, NULL);
    char byte;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, NULL) && got > 0) { }
    CloseHandle(file);
    return 0;
}

int main()
{
    int count;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 120;
    if (lstrcmpW(arguments[1], L"--hold") == 0)
        return count == 3 ? Hold(arguments[2], FILE_SHARE_READ) : 120;
    if (lstrcmpW(arguments[1], L"--lock") == 0)
        return count == 3 ? Hold(arguments[2], 0) : 120;
    int first = 1;
    BOOL verbatim = lstrcmpW(arguments[1], L"--command-line") == 0;
    BOOL noOutput = verbatim || lstrcmpW(arguments[1], L"--no-output") == 0;
    if (noOutput)
        first = 2;
    if (first >= count || (verbatim && count != 3))
        return 120;
    static WCHAR commandLine[COMMAND_CHARS];
    const WCHAR* program = NULL;
    if (verbatim)
        lstrcpynW(commandLine, arguments[first], COMMAND_CHARS);
    else {
        program = arguments[first];
        int used = wsprintfW(commandLine, L"\"%.*s\"", MAX_PATH, program);
        for (int n = first + 1; n < count; n++)
            AppendQuoted(commandLine, &used, arguments[n]);
    }

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd = NULL, writeEnd = NULL;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    if (!noOutput) {
        if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
            return 121;
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, commandLine, NULL, NULL, !noOutput, 0, NULL, NULL, &startup, &process))
        return 122;
    if (!noOutput) {
        // Only the child holds the write end now, so the pipe ends when it does.
        CloseHandle(writeEnd);
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        char chunk[4096];
        DWORD got, written;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0)
            WriteFile(out, chunk, got, &written, NULL);
        CloseHandle(readEnd);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 123;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    LocalFree(arguments);
    return (int)exitCode;
}
