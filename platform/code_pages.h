// Lead-byte ranges of the double-byte ANSI code pages, for builds that have no
// system to ask. The Win32 tests hold them against GetCPInfo.
#pragma once

// Pairs of first and last lead byte, ended by a 0, 0 pair: the layout of
// CPINFO::LeadByte. 932, 936, 949 and 950 are known; every other page has none.
const unsigned char* BuiltInLeadByteRanges(unsigned codePage);

// Marks every byte that falls in one of the ranges (at most six pairs).
// Returns whether any byte was marked.
bool FillLeadByteTable(bool (&table)[256], const unsigned char* ranges);
