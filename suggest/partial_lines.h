#pragma once

// Partial lines: the half lines that begin and end a field (black over part of their length, the
// picture over the rest), and lines the picture reaches only in part.

#include "suggest/ragged_edge.h"

// The deepest of the first few lines past the dead ones (which end at `from`) that are at the
// bar's level or black over a stretch from one end of the line while the line inside shows picture
// there; -1 when none is.
int partialDepth(const SideLines& lines, int from, const BarLevel& bar);

// The share of line d, from either end, that is dark where line `inside` is not.
float darkShareFromEnd(const SideLines& lines, int d, int inside, const BarLevel& bar);
