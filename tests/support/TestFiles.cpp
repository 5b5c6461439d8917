// Real files and folders for the tests, and a capture of the report output.
#include "tests/support/TestFiles.h"
#include "engine/report/Output.h"
#include <gtest/gtest.h>

std::wstring MakeTestFolder()
{
    static LONG serial;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WCHAR name[MAX_PATH];
    wsprintfW(name, L"%sseekline-%u-%u", temp, GetCurrentProcessId(), (unsigned)InterlockedIncrement(&serial));
    RemoveTree(name);
    MakeFolder(name);
    return name;
}

void MakeFolder(const std::wstring& path)
{
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), NULL)) << "cannot create folder";
}

void WriteTestFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create file";
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    EXPECT_EQ(written, bytes.size());
}

std::string ReadTestFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            // A link or junction goes, not what it leads to.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveDirectoryW(child.c_str()) || DeleteFileW(child.c_str());
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring WithoutLongPrefix(const wchar_t* path)
{
    std::wstring typed = path;
    return typed.compare(0, 4, L"\\\\?\\") == 0 ? typed.substr(4) : typed;
}

std::wstring WindowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; p++)
        path += *p == '/' ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}

std::string Ansi(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(length > 0 ? length : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), &bytes[0], length, NULL, NULL);
    return bytes;
}

void CaptureStart(ReportCapture* capture)
{
    WCHAR temp[MAX_PATH];
    WCHAR path[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"rep", 0, path);
    capture->path = path;
    capture->handle =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    OutputStart(capture->handle);
}

std::string CaptureFinish(ReportCapture* capture)
{
    CloseHandle(capture->handle);
    std::string report = ReadTestFile(capture->path);
    DeleteFileW(capture->path.c_str());
    return report;
}
