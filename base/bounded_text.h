// Bounded copies into caller-owned buffers, and the program's one way to compare names.
#pragma once

#include <cstddef>

// Copies at most capacity - 1 characters and terminates; writes nothing for capacity 0.
void CopyBounded(wchar_t* destination, const wchar_t* source, size_t capacity);
void CopyBounded(char* destination, const char* source, size_t capacity);

// Appends within the capacity (cutting what does not fit, always terminated); does nothing when
// the destination already fills it.
void AppendBounded(wchar_t* destination, const wchar_t* source, size_t capacity);

// File names, ProgIDs and option names: CompareStringW, user locale, case ignored, string sort.
bool NamesEqual(const wchar_t* first, const wchar_t* second);
