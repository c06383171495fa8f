// The foreground-window test: a case-insensitive substring match of every
// list entry against the window's class name, title and process name, and
// the only-for switch that turns the list around.
#include <gtest/gtest.h>
#include "monitor/orientation.h"

namespace {

class WindowList {
public:
    explicit WindowList(std::initializer_list<const wchar_t *> entries)
    {
        for (const wchar_t *entry : entries)
            EXPECT_EQ(1, list.Add(entry));
    }
    CStrList list;
};

struct MatchCase {
    std::initializer_list<const wchar_t *> entries;
    const wchar_t *name;
    int matches;
};

TEST(MatchesAnyEntryTest, SubstringWithoutRegardToCase)
{
    const MatchCase cases[] = {
        {{L"opera"}, L"Operator Console", 1},
        {{L"OPERA"}, L"opera.exe", 1},
        {{L"cprog.exe"}, L"cprog.exe", 1},
        {{L"cprog.exe"}, L"cprog", 0},
        {{L"Manila", L"TEETER", L"opera"}, L"teeter", 1},  // a later entry
        {{L"Manila", L"TEETER"}, L"Inbox", 0},
        {{L" Inbox "}, L"Inbox", 0},  // blanks belong to the entry
        {{L" Inbox "}, L"My Inbox now", 1},
        {{}, L"anything", 0},
        {{L"x"}, L"", 0},
    };
    for (const MatchCase &c : cases) {
        WindowList windows(c.entries);
        EXPECT_EQ(c.matches, MatchesAnyEntry(&windows.list, c.name)) << c.name;
    }
}

struct ExemptCase {
    std::initializer_list<const wchar_t *> entries;
    int onlyfor;
    const wchar_t *className;
    const wchar_t *title;
    const wchar_t *process;
    int exempt;
};

TEST(IsExemptWindowTest, ListAndOnlyForSwitch)
{
    const ExemptCase cases[] = {
        // The list names the windows left alone.
        {{L"tmail"}, 0, L"TMailView", L"Messages", L"tmail.exe", 1},
        {{L"inbox"}, 0, L"MsgView", L"Inbox - Messaging", L"tmail.exe", 1},
        {{L"cprog.exe"}, 0, L"DialerView", L"Phone", L"cprog.exe", 1},
        {{L"cprog.exe"}, 0, L"NotesView", L"Notes", L"notes.exe", 0},
        {{}, 0, L"NotesView", L"Notes", L"notes.exe", 0},
        // Only-for: the list names the only windows that turn.
        {{L"tmail"}, 1, L"TMailView", L"Messages", L"x.exe", 0},
        {{L"inbox"}, 1, L"MsgView", L"Inbox - Messaging", L"x.exe", 0},
        {{L"cprog.exe"}, 1, L"DialerView", L"Phone", L"cprog.exe", 0},
        {{L"cprog.exe"}, 1, L"NotesView", L"Notes", L"notes.exe", 1},
        {{}, 1, L"NotesView", L"Notes", L"notes.exe", 1},
        {{L"cprog.exe"}, -7, L"NotesView", L"Notes", L"notes.exe", 1},  // any non-zero
        // Names that could not be read match nothing.
        {{L"notes"}, 0, L"", L"", L"", 0},
        {{L"notes"}, 1, L"", L"", L"", 1},
    };
    int i = 0;
    for (const ExemptCase &c : cases) {
        WindowList windows(c.entries);
        EXPECT_EQ(c.exempt,
                  IsExemptWindow(&windows.list, c.onlyfor, c.className, c.title, c.process))
            << "case " << i;
        ++i;
    }
}

}  // namespace
