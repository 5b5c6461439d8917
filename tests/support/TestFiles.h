// Real files and folders for the tests, and a capture of the report output.
#pragma once
#include <windows.h>
#include <string>

// A new empty folder under the Windows temp folder; no trailing backslash.
std::wstring MakeTestFolder();
void MakeFolder(const std::wstring& path);
void WriteTestFile(const std::wstring& path, const std::string& bytes);
std::string ReadTestFile(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// The path without the "\\?\" of the long form the walker opens files by: the
// path as the user typed its folder.
std::wstring WithoutLongPrefix(const wchar_t* path);
// A file of the build tree as Wine shows it: its Unix root is drive Z:.
std::wstring WindowsPath(const char* unixPath);

// The text in the process's ANSI code page, as report lines print it.
std::string Ansi(const std::wstring& text);

// Points the report output at a fresh file until CaptureFinish returns what
// was written to it. Every file begun meanwhile must have ended.
struct ReportCapture {
    std::wstring path;
    HANDLE handle;
};
void CaptureStart(ReportCapture* capture);
std::string CaptureFinish(ReportCapture* capture);
