// The built programs' resources under Wine: version information, icons and manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "os/win32/wide.h"

namespace {

using qm::win32::narrow;
using qm::win32::widen;

// The build passes Linux paths; Wine shows the Linux root as drive Z:.
std::wstring programPath(const char* linuxPath) {
  std::wstring path = L"Z:" + widen(linuxPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

struct Program {
  const char* path;
  WORD version[4];
  const char* fileVersion;
  const char* description;
  int iconId;
};

const std::vector<Program>& programs() {
  static const std::vector<Program> list = [] {
    std::vector<Program> l{
        {QM_COPYTOOL_EXE, {1, 0, 0, 5}, "1.00.0005", "設定した場所にコピーします。", 1}};
#ifdef QM_SETUPTOOL_EXE
    l.push_back(
        {QM_SETUPTOOL_EXE, {1, 0, 0, 3}, "1.00.0003", "コピー先とコピー元を設定します。", 2});
#endif
    return l;
  }();
  return list;
}

std::string stringValue(const std::vector<char>& data, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT len = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
  if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &len) || !len)
    return {};
  return narrow(std::wstring_view(value, len - 1));
}

TEST(Win32Resources, VersionInformationIsJapaneseWithTheProgramsVersion) {
  for (const Program& p : programs()) {
    const std::wstring path = programPath(p.path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << p.path;
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(p.version[1], p.version[0])) << p.path;
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(p.version[3], p.version[2])) << p.path;
    EXPECT_EQ(stringValue(data, L"FileVersion"), p.fileVersion);
    EXPECT_EQ(stringValue(data, L"FileDescription"), p.description);
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &len));
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 1200);
  }
}

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<LANGID>*>(out)->push_back(language);
  return TRUE;
}

// Regression: the resources were tagged English (US) while their strings are Japanese.
TEST(Win32Resources, EveryResourceIsTaggedJapanese) {
  struct Kind {
    const wchar_t* type;
    int id;
  };
  for (const Program& p : programs()) {
    HMODULE m = LoadLibraryExW(programPath(p.path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << p.path;
    for (const Kind& k : {Kind{MAKEINTRESOURCEW(16), 1}, Kind{MAKEINTRESOURCEW(14), p.iconId},
                          Kind{MAKEINTRESOURCEW(24), 1}}) {  // version, icon group, manifest
      std::vector<LANGID> languages;
      EnumResourceLanguagesW(m, k.type, MAKEINTRESOURCEW(k.id), addLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
      EXPECT_EQ(languages, std::vector<LANGID>{0x0411})
          << p.path << " type " << reinterpret_cast<UINT_PTR>(k.type);
    }
    FreeLibrary(m);
  }
}

// Regression: the header declared Windows 4.0 although the program imports functions of
// Vista, and the shipped file carried its symbol table.
TEST(Win32Resources, HeaderDeclaresVistaAndTheFileIsStripped) {
  for (const Program& p : programs()) {
    HANDLE f = CreateFileW(programPath(p.path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << p.path;
    std::vector<char> head(4096);
    DWORD n = 0;
    ReadFile(f, head.data(), static_cast<DWORD>(head.size()), &n, nullptr);
    CloseHandle(f);
    ASSERT_GE(n, sizeof(IMAGE_DOS_HEADER));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data());
    ASSERT_LT(dos->e_lfanew + sizeof(IMAGE_NT_HEADERS), n);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(head.data() + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.MajorSubsystemVersion, 6) << p.path;
    EXPECT_EQ(nt->OptionalHeader.MinorSubsystemVersion, 0) << p.path;
    EXPECT_EQ(nt->OptionalHeader.MajorOperatingSystemVersion, 6) << p.path;
    EXPECT_EQ(nt->FileHeader.PointerToSymbolTable, 0u) << p.path;
    EXPECT_EQ(nt->FileHeader.NumberOfSymbols, 0u) << p.path;
  }
}

TEST(Win32Resources, IconHasA32And16PixelImageOf16Colours) {
  for (const Program& p : programs()) {
    HMODULE m = LoadLibraryExW(programPath(p.path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << p.path;
#pragma pack(push, 2)
    struct Entry {
      BYTE width, height, colours, reserved;
      WORD planes, bits;
      DWORD bytes;
      WORD id;
    };
    struct Group {
      WORD reserved, type, count;
      Entry entries[1];
    };
#pragma pack(pop)
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(p.iconId), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(r, nullptr) << p.path;
    const auto* group = static_cast<const Group*>(LockResource(LoadResource(m, r)));
    ASSERT_EQ(group->count, 2);
    std::vector<int> sizes;
    for (int i = 0; i < group->count; ++i) {
      sizes.push_back(group->entries[i].width);
      EXPECT_EQ(group->entries[i].bits, 4);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    FreeLibrary(m);
  }
}

TEST(Win32Resources, ManifestAsksForCommonControls6AndNoExecutionLevel) {
  for (const Program& p : programs()) {
    HMODULE m = LoadLibraryExW(programPath(p.path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(r, nullptr) << p.path;
    const std::string text(static_cast<const char*>(LockResource(LoadResource(m, r))),
                           SizeofResource(m, r));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_EQ(text.find("requestedExecutionLevel"), std::string::npos);
    FreeLibrary(m);
  }
}

}  // namespace
