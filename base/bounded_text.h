// Bounded copies into caller-owned buffers, and the program's one way to compare names.
#pragma once

#include <cstddef>

// Copies at most capacity - 1 characters and terminates; writes nothing for capacity 0.
void CopyBounded(wchar_t* destination, const wchar_t* source, size_t capacity);
void CopyBounded(char* destination, const char* source, size_t capacity);

// Appends within the capacity (cutting what does not fit, always terminated); does nothing when
// the destination already fills it.
void AppendBounded(wchar_t* destination, const wchar_t* source, size_t capacity);

// printf-style formatting of texts the program makes itself (numbers, key names; never a pattern
// from a translatable text): cut to capacity - 1 characters and always terminated (nothing for
// capacity 0). The runtime's own formatter, so that the program carries no second one.
void FormatBounded(wchar_t* destination, size_t capacity, const wchar_t* format, ...);

// File names, ProgIDs and option names: CompareStringW, user locale, case ignored, string sort.
bool NamesEqual(const wchar_t* first, const wchar_t* second);

// Formats a message whose pattern comes from a translatable text: the first "%s" becomes argument
// and "%%" becomes "%"; every other character, other "%" sequences included, is copied as it
// stands. A translation can therefore never make the program read arguments that were not given.
// The result is cut to capacity - 1 characters and always terminated (nothing for capacity 0).
void FormatWithArgument(wchar_t* destination, size_t capacity, const wchar_t* pattern, const wchar_t* argument);
