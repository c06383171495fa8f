// The account's first field, as the tests that read a log check it.
#pragma once
#include <ctype.h>
#include <stdlib.h>
#include <string>

// 1 when text is a local time "hh:mm:ss".
inline bool IsClockTime(const std::string &text)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (!isdigit((unsigned char)text[i]))
            return false;
    return atoi(text.c_str()) < 24 && atoi(text.c_str() + 3) < 60 && atoi(text.c_str() + 6) < 61;
}
