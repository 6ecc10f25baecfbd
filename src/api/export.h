// Marks a definition as part of the library's exported interface, with the same attribute as its
// declaration in framedec.h. Everything else stays hidden: the library is built with hidden
// visibility and an export list (a version script on Linux, a module-definition file on Windows).
#pragma once

#include "framedec.h"

#define FRAMEDEC_EXPORT extern "C" FRAMEDEC_API
