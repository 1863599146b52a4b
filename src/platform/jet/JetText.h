// The Jet text rules in one include: folding (JetFold.h), LIKE patterns (JetLike.h) and the SQL
// functions over them (JetFunctions.h).
#pragma once

#include "platform/jet/JetFold.h"
#include "platform/jet/JetFunctions.h"
#include "platform/jet/JetLike.h"
