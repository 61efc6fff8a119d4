// The fake file system, version functions and clock behave as the Windows calls they stand for;
// the other areas' tests rely on these behaviours.
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeTime.h"
#include "tests/fakes/FakeVersion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace hf::fake {
namespace {

TEST(FakeFileSystem, LooksPathsUpLikeWindows) {
    FakeSystem system;
    FakeFileSystem files(system);
    files.AddFile(L"C:\\Windows\\System32\\Drivers\\Evil.SYS");
    struct Case {
        const wchar_t* path;
        std::uint32_t attributes;
        std::uint32_t error;
    };
    const Case cases[] = {
        {L"c:\\windows\\system32\\drivers\\evil.sys", kFileAttributeArchive, 0},
        {L"C:/Windows//System32\\drivers\\EVIL.sys", kFileAttributeArchive, 0},
        {L"C:\\Windows\\System32\\drivers\\", kFileAttributeDirectory, 0},
        {L"C:\\Windows\\System32\\drivers\\other.sys", kInvalidFileAttributes, kErrorFileNotFound},
        {L"C:\\Windows\\Nowhere\\evil.sys", kInvalidFileAttributes, kErrorPathNotFound},
        {L"", kInvalidFileAttributes, kErrorPathNotFound},
        // ".." resolves as text, without asking whether the folders on the way exist.
        {L"C:\\nowhere.dll\\..\\Windows\\.\\System32/drivers/../drivers/evil.sys",
         kFileAttributeArchive, 0},
    };
    for (const Case& c : cases) {
        system.lastError = 0;
        EXPECT_EQ(files.GetFileAttributesW(c.path), c.attributes) << "path " << c.path;
        EXPECT_EQ(system.lastError, c.error) << "path " << c.path;
    }
    // Only a-z fold: a non-ASCII letter must match exactly.
    files.AddFile(L"C:\\Ä.dll");
    EXPECT_TRUE(files.Exists(L"c:\\Ä.DLL"));
    EXPECT_FALSE(files.Exists(L"c:\\ä.dll"));
}

TEST(FakeFileSystem, DeletionIsRecordedAsAskedAndRemovesTheFile) {
    FakeSystem system;
    FakeFileSystem files(system);
    files.AddFile(L"C:\\t\\a.bat");
    files.AddFile(L"C:\\t\\locked.bat");
    files.FailDelete(L"C:\\t\\locked.bat", kErrorAccessDenied);
    files.AddFile(L"C:\\t\\ro.bat").attributes |= kFileAttributeReadOnly;

    EXPECT_TRUE(files.DeleteFileW(L"c:\\T\\A.bat"));
    EXPECT_FALSE(files.Exists(L"C:\\t\\a.bat"));
    EXPECT_FALSE(files.DeleteFileW(L"C:\\t\\a.bat"));
    EXPECT_EQ(system.lastError, kErrorFileNotFound);
    EXPECT_FALSE(files.DeleteFileW(L"C:\\t\\locked.bat"));
    EXPECT_EQ(system.lastError, kErrorAccessDenied);
    EXPECT_TRUE(files.Exists(L"C:\\t\\locked.bat"));
    EXPECT_FALSE(files.DeleteFileW(L"C:\\t\\ro.bat"));
    EXPECT_FALSE(files.DeleteFileW(L"C:\\t"));
    EXPECT_EQ(system.lastError, kErrorAccessDenied);
    EXPECT_EQ(files.deletions,
              (std::vector<std::wstring>{L"c:\\T\\A.bat", L"C:\\t\\a.bat", L"C:\\t\\locked.bat",
                                         L"C:\\t\\ro.bat", L"C:\\t"}));
}

// Handles reach what Windows reaches: links followed on the way (and at the end unless the open
// asks for the link itself; a Unix link always), short names, and the 32-bit process's System32.
TEST(FakeFileSystem, HandlesNameWhatTheyReach) {
    FakeSystem system;
    FakeFileSystem files(system);
    files.AddFile(L"C:\\Target\\Real.dll");
    files.AddLink(L"C:\\u\\junction", L"C:\\Target");
    files.AddLink(L"C:\\u\\unix", L"C:\\Target", true);
    files.AddLink(L"C:\\u\\file.dll", L"C:\\Target\\Real.dll");
    files.SetShortName(L"C:\\Target\\Real.dll", L"REAL~1.DLL");
    files.AddFile(L"C:\\Windows\\SysWOW64\\own.dll");
    files.wow64 = true;
    const struct {
        const wchar_t* path;
        std::uint32_t flags;
        const wchar_t* finalPath;
        std::uint32_t attributes;
    } cases[] = {
        {L"c:\\u\\JUNCTION\\real.dll", 0, L"\\\\?\\C:\\Target\\Real.dll", kFileAttributeArchive},
        {L"C:\\u\\unix\\real.dll", kFileFlagOpenReparsePoint, L"\\\\?\\C:\\Target\\Real.dll",
         kFileAttributeArchive},
        {L"C:\\u\\file.dll", 0, L"\\\\?\\C:\\Target\\Real.dll", kFileAttributeArchive},
        {L"C:\\u\\file.dll", kFileFlagOpenReparsePoint, L"\\\\?\\C:\\u\\file.dll",
         kFileAttributeArchive | kFileAttributeReparsePoint},
        {L"C:\\Target\\REAL~1.DLL", 0, L"\\\\?\\C:\\Target\\Real.dll", kFileAttributeArchive},
        {L"C:\\Windows\\System32\\own.dll", 0, L"\\\\?\\C:\\Windows\\SysWOW64\\own.dll",
         kFileAttributeArchive},
    };
    for (const auto& c : cases) {
        const FileHandle file =
            files.CreateFileW(c.path, kFileReadAttributes, kFileShareAll, kOpenExisting, c.flags);
        ASSERT_NE(kInvalidFileHandle, file) << c.path;
        std::wstring finalPath;
        FileHandleInformation info;
        EXPECT_TRUE(files.GetFinalPathNameByHandleW(file, 0, finalPath) &&
                    files.GetFileInformationByHandle(file, info));
        EXPECT_EQ(c.finalPath, finalPath) << c.path;
        EXPECT_EQ(c.attributes, info.dwFileAttributes) << c.path;
        EXPECT_TRUE(files.CloseHandle(file));
    }
    std::wstring path;
    EXPECT_TRUE(files.GetFullPathNameW(L"c:/a/./b/../Target//x", path));
    EXPECT_EQ(L"c:\\a\\Target\\x", path);
    EXPECT_TRUE(files.GetLongPathNameW(L"C:\\TARGET\\REAL~1.DLL", path));
    EXPECT_EQ(L"C:\\TARGET\\Real.dll", path);
    EXPECT_FALSE(files.GetLongPathNameW(L"C:\\Target\\none.dll", path));
    EXPECT_EQ(0u, files.OpenFileHandles());
}

// A rename through a handle needs DELETE access, never replaces a file (183), moves the file with
// its state and leaves the handle on it; the security read needs READ_CONTROL.
TEST(FakeFileSystem, RenamesThroughAHandleAndReadsSecurity) {
    FakeSystem system;
    FakeFileSystem files(system);
    files.AddFile(L"C:\\u\\a.dll").loaded = true;
    files.AddFile(L"C:\\u\\taken.dll");
    const FileHandle reader =
        files.CreateFileW(L"C:\\u\\a.dll", kFileReadAttributes, kFileShareAll, kOpenExisting, 0);
    EXPECT_FALSE(files.SetFileRenameInfo(reader, L"C:\\u\\b.dll"));
    EXPECT_EQ(kErrorAccessDenied, system.lastError);
    ObjectSecurity security;
    EXPECT_EQ(kErrorAccessDenied, files.GetSecurityInfo(reader, security));
    files.CloseHandle(reader);

    const FileHandle file = files.CreateFileW(L"C:\\u\\a.dll", kDeleteAccess | kReadControl,
                                              kFileShareAll, kOpenExisting, 0);
    EXPECT_FALSE(files.SetFileRenameInfo(file, L"c:\\U\\TAKEN.DLL"));
    EXPECT_EQ(kErrorAlreadyExists, system.lastError);
    EXPECT_FALSE(files.SetFileRenameInfo(file, L"C:\\nowhere\\b.dll"));
    EXPECT_EQ(kErrorPathNotFound, system.lastError);
    EXPECT_TRUE(files.SetFileRenameInfo(file, L"C:\\u\\b.dll"));
    EXPECT_FALSE(files.ExistsStored(L"C:\\u\\a.dll"));
    ASSERT_NE(nullptr, files.Find(L"C:\\u\\b.dll"));
    EXPECT_TRUE(files.Find(L"C:\\u\\b.dll")->loaded);
    std::wstring finalPath;
    EXPECT_TRUE(files.GetFinalPathNameByHandleW(file, 0, finalPath));
    EXPECT_EQ(L"\\\\?\\C:\\u\\b.dll", finalPath);
    EXPECT_EQ(0u, files.GetSecurityInfo(file, security));
    EXPECT_EQ(L"S-1-5-18", security.owner) << "the fake's default: a trusted folder";
    files.CloseHandle(file);
    EXPECT_EQ(0u, files.OpenFileHandles());
}

TEST(FakeFileSystem, SearchesOneFolderByWildcardAndCountsHandles) {
    FakeSystem system;
    FakeFileSystem files(system);
    files.AddFile(L"C:\\W\\drivers\\a.sys");
    files.AddFile(L"C:\\W\\drivers\\B.SYS");
    files.AddFile(L"C:\\W\\drivers\\c.dll");
    files.AddFile(L"C:\\W\\drivers\\sub\\d.sys");

    FindData data;
    const FindHandle search = files.FindFirstFileW(L"C:\\W\\drivers\\*.sys", data);
    ASSERT_NE(search, kInvalidFindHandle);
    EXPECT_EQ(files.OpenFindHandles(), 1u);
    std::set<std::wstring> names{data.cFileName};
    while (files.FindNextFileW(search, data)) {
        names.insert(data.cFileName);
    }
    EXPECT_EQ(system.lastError, kErrorNoMoreFiles);
    EXPECT_EQ(names, (std::set<std::wstring>{L"a.sys", L"B.SYS"}));
    EXPECT_TRUE(files.FindClose(search));
    EXPECT_EQ(files.OpenFindHandles(), 0u);
    EXPECT_FALSE(files.FindClose(search));

    EXPECT_EQ(files.FindFirstFileW(L"C:\\W\\drivers\\*.exe", data), kInvalidFindHandle);
    EXPECT_EQ(system.lastError, kErrorFileNotFound);
    EXPECT_EQ(files.FindFirstFileW(L"C:\\W\\none\\*.sys", data), kInvalidFindHandle);
    EXPECT_EQ(system.lastError, kErrorPathNotFound);
    EXPECT_EQ(files.OpenFindHandles(), 0u);

    // "*" lists the folder's own entries "." and ".." too, as Windows does.
    const FindHandle all = files.FindFirstFileW(L"C:\\W\\drivers\\*", data);
    EXPECT_EQ(data.cFileName, L".");
    EXPECT_TRUE(files.FindClose(all));
}

std::wstring ReadUnits(const void* value) {
    std::wstring text;
    for (const auto* p = static_cast<const std::uint8_t*>(value);; p += 2) {
        const auto unit = static_cast<wchar_t>(p[0] | (p[1] << 8));
        if (unit == 0) {
            return text;
        }
        text.push_back(unit);
    }
}

TEST(FakeVersion, ValuesPointIntoTheCallersBlock) {
    FakeSystem system;
    FakeFileSystem files(system);
    FakeVersion version(system, files);
    FakeVersionResource resource;
    resource.AddTranslation(0x0412, 0x04B0).SetString(L"041204B0", L"OriginalFilename", L"hf.sys");
    files.AddFile(L"C:\\d\\x.sys", resource);

    const std::uint32_t size = version.GetFileVersionInfoSizeW(L"C:\\d\\x.sys");
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(version.GetFileVersionInfoW(L"C:\\d\\x.sys", size, block.data()));
    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(
        version.VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation\\", value, length));
    EXPECT_EQ(length, 4u);
    EXPECT_GE(static_cast<const std::uint8_t*>(value), block.data());
    EXPECT_LT(static_cast<const std::uint8_t*>(value), block.data() + block.size());
    EXPECT_EQ(std::memcmp(value, "\x12\x04\xB0\x04", 4), 0);
    // Key lookup ignores case, as the system's does.
    ASSERT_TRUE(version.VerQueryValueW(
        block.data(), L"\\StringFileInfo\\041204b0\\OriginalFileName", value, length));
    EXPECT_EQ(ReadUnits(value), L"hf.sys");
    system.lastError = 0;
    EXPECT_FALSE(version.VerQueryValueW(
        block.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename", value, length));
    EXPECT_EQ(system.lastError, kErrorResourceTypeNotFound);
    EXPECT_EQ(version.queries.size(), 3u);
}

TEST(FakeVersion, FailuresSetTheLastError) {
    FakeSystem system;
    FakeFileSystem files(system);
    FakeVersion version(system, files);
    files.AddFile(L"C:\\plain.dll");
    files.AddFile(L"C:\\locked.dll", FakeVersionResource{});
    files.FailPath(L"C:\\locked.dll", kErrorAccessDenied);
    const std::pair<const wchar_t*, std::uint32_t> cases[] = {
        {L"C:\\plain.dll", kErrorResourceDataNotFound},
        {L"C:\\locked.dll", kErrorAccessDenied},
        {L"C:\\missing.dll", kErrorFileNotFound},
        {L"", kErrorBadPathname},
    };
    for (const auto& [path, error] : cases) {
        system.lastError = 0;
        EXPECT_EQ(version.GetFileVersionInfoSizeW(path), 0u) << path;
        EXPECT_EQ(system.lastError, error) << path;
    }
}

TEST(FakeTime, ConvertsFileTimesAndAppliesTheRuleOfTheDateConverted) {
    FakeSystem system;
    FakeTime time(system);
    SystemTime utc;
    ASSERT_TRUE(time.FileTimeToSystemTime(FileTime{}, utc));
    EXPECT_EQ(utc.wYear, 1601);
    EXPECT_EQ(utc.wMonth, 1);
    EXPECT_EQ(utc.wDay, 1);
    EXPECT_EQ(utc.wDayOfWeek, 1);  // a Monday

    // 2024-02-29 23:59:59.999 round-trips through ticks (a leap day, last millisecond).
    ASSERT_TRUE(
        time.FileTimeToSystemTime(FakeTime::MakeFileTime(2024, 2, 29, 23, 59, 59, 999), utc));
    EXPECT_EQ(utc.wYear, 2024);
    EXPECT_EQ(utc.wMonth, 2);
    EXPECT_EQ(utc.wDay, 29);
    EXPECT_EQ(utc.wHour, 23);
    EXPECT_EQ(utc.wMilliseconds, 999);
    EXPECT_EQ(utc.wDayOfWeek, 4);  // a Thursday

    EXPECT_FALSE(time.FileTimeToSystemTime(FileTime{0, 0x80000000u}, utc));
    EXPECT_EQ(system.lastError, kErrorInvalidParameter);

    time.offsetMinutes = 60;
    time.daylightMinutes = 60;
    SystemTime local;
    ASSERT_TRUE(
        time.SystemTimeToTzSpecificLocalTime(FakeTime::MakeSystemTime(2024, 1, 10, 23, 30), local));
    EXPECT_EQ(local.wDay, 11);
    EXPECT_EQ(local.wHour, 0);
    ASSERT_TRUE(
        time.SystemTimeToTzSpecificLocalTime(FakeTime::MakeSystemTime(2024, 7, 10, 12), local));
    EXPECT_EQ(local.wHour, 14);
    EXPECT_FALSE(
        time.SystemTimeToTzSpecificLocalTime(FakeTime::MakeSystemTime(2023, 2, 29), local));
    EXPECT_EQ(system.lastError, kErrorInvalidParameter);
}

}  // namespace
}  // namespace hf::fake
