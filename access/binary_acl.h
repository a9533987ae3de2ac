// A DACL as Windows lays it out in memory, read into the model's entries:
// the reader of the machine's real descriptors hands its bytes here, so that
// how each kind of entry is read is one portable rule with a native test.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "access/access_model.h"

// A binary SID as S-1-...; empty when the bytes hold none.
std::string SidText(const unsigned char* sid, std::size_t size);

// The entries of a binary ACL that grant or deny access to a file, folder,
// key or service, which Windows checks with no object type list: plain and
// callback allows and denies, and object ones that name no object type, as
// plain ones; an object entry that names a type binds nothing here; a
// callback deny may not deny, so it is left out, and a callback allow may
// grant, so it counts. False when the bytes are no ACL.
bool ReadBinaryAcl(const unsigned char* acl, std::size_t size, std::vector<AccessEntry>& entries);
