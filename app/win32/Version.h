// The program's version, for the About box and the version resource.
#pragma once

#define PYROLA_VERSION_MAJOR 1
#define PYROLA_VERSION_MINOR 44
#define PYROLA_VERSION_TEXT "1.44"
#define PYROLA_MAKER "Qorvane"
