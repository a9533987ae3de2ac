// The accounts that are administrators on this machine, and the names it
// gives principals: what the access model trusts, and how it names the rest.
#pragma once

#include "access/access_model.h"

Trusted MachineTrusted();
