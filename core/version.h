#pragma once

// The filter's version, as the host's filter list shows it ("Velmo, version 1.1(2)") and as every
// face reports it.
#define VELMO_VERSION "1.1(2)"
