// The resources of update_art.rc: the suite's icon and the update window's seven images, each
// drawn twice (art/, made by tools/make_art.py). Macros only: the resource compiler reads this.
#pragma once

// The suite's icon. As the program's first icon group, it is what Explorer, the title bar, the
// task bar and Alt+Tab show for the agent.
#define IDI_SUITE 1

// The seven images (RT_RCDATA, PNG) in the order of ClientProfile's references, drawn for 96 DPI
#define IDR_DOWNLOADING_1X 101
#define IDR_CLOSE_1X 102
#define IDR_LOGO_1X 103
#define IDR_INSTALL_1X 104
#define IDR_TRACK_1X 105
#define IDR_FILL_1X 106
#define IDR_EXTRA_1X 107

// and the same shapes drawn at twice the size, for above 96 DPI.
#define IDR_DOWNLOADING_2X 201
#define IDR_CLOSE_2X 202
#define IDR_LOGO_2X 203
#define IDR_INSTALL_2X 204
#define IDR_TRACK_2X 205
#define IDR_FILL_2X 206
#define IDR_EXTRA_2X 207
