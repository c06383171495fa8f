// vorn.exe as the file that goes onto the phone: at start it needs no
// library but the platform's own and the shell library.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "support/phone.h"

namespace {

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

// File offset of a relative virtual address, through the section table.
size_t OffsetOf(const std::string &image, const IMAGE_SECTION_HEADER *sections, int count,
                DWORD rva)
{
    for (int i = 0; i < count; i++) {
        DWORD start = sections[i].VirtualAddress;
        DWORD size = std::max(sections[i].Misc.VirtualSize, sections[i].SizeOfRawData);
        if (rva >= start && rva < start + size)
            return sections[i].PointerToRawData + (rva - start);
    }
    return image.size();
}

// Names of the libraries in the program's import table, in lower case.
std::vector<std::string> ImportedLibraries(const std::string &image)
{
    std::vector<std::string> names;
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return names;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)image.data();
    if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
        (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS64) > image.size())
        return names;
    const char *nt = image.data() + dos->e_lfanew;
    const IMAGE_FILE_HEADER *file = (const IMAGE_FILE_HEADER *)(nt + sizeof(DWORD));
    const char *optional = (const char *)(file + 1);
    DWORD importRva = 0;
    if (*(const WORD *)optional == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        importRva = ((const IMAGE_OPTIONAL_HEADER64 *)optional)
                        ->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    else
        importRva = ((const IMAGE_OPTIONAL_HEADER32 *)optional)
                        ->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    const IMAGE_SECTION_HEADER *sections =
        (const IMAGE_SECTION_HEADER *)(optional + file->SizeOfOptionalHeader);
    int count = file->NumberOfSections;
    for (size_t at = OffsetOf(image, sections, count, importRva);
         at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const IMAGE_IMPORT_DESCRIPTOR *entry = (const IMAGE_IMPORT_DESCRIPTOR *)(image.data() + at);
        if (entry->Name == 0)
            break;
        size_t name = OffsetOf(image, sections, count, entry->Name);
        if (name >= image.size())
            break;
        names.push_back(Lower(std::string(image.c_str() + name)));
    }
    return names;
}

TEST(ProgramFileTest, NeedsOnlyThePlatformsLibrariesAndTheShell)
{
    std::string image = ReadBytes(BinDir() + L"\\vorn.exe");
    ASSERT_FALSE(image.empty());
    std::vector<std::string> imported = ImportedLibraries(image);
    ASSERT_FALSE(imported.empty()) << "no import table found";
    const std::set<std::string> platform = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                            "advapi32.dll", "ole32.dll",  "shell32.dll",
                                            "msvcrt.dll",   "aygshell.dll"};
    for (const std::string &name : imported)
        EXPECT_TRUE(platform.count(name)) << name << " is not a library of the platform";
    EXPECT_EQ(1, (int)std::count(imported.begin(), imported.end(), std::string("aygshell.dll")));
}

}  // namespace
