// The program's version and maker, for the About box, the headless program's --version
// and the Windows version resource (the resource compiler reads these defines too).
#pragma once

#define PYROLA_VERSION_MAJOR 1
#define PYROLA_VERSION_MINOR 44
#define PYROLA_VERSION_TEXT "1.44"
#define PYROLA_MAKER "Qorvane"
