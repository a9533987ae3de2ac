// The spaces and quotes of the ANSI code pages that are not the ASCII ones:
// Windows ends a program's name only at an ASCII space, and quotes it only
// with a straight double quote, so these are letters of a name to it.
#pragma once

#include <cstddef>
#include <string>

// 932, 936, 949 and 950: the code pages whose lead bytes the service knows.
bool IsDoubleByteCodePage(unsigned codePage);

// The length of the character at text[at] in the code page: 2 for a lead
// byte with a byte after it, else 1.
std::size_t CharacterLengthIn(const std::string& text, std::size_t at, unsigned codePage);

// The length of a space that is not the ASCII one at text[at]: a no-break
// space, or a full-width one; 0 when there is none.
std::size_t OtherSpaceAt(const std::string& text, std::size_t at, unsigned codePage);

// The length of a quote that is not the straight one at text[at]: a
// typographic quote, or a full-width one; 0 when there is none.
std::size_t OtherQuoteAt(const std::string& text, std::size_t at, unsigned codePage);
