// The program's web addresses, set when the program is built.
#pragma once

#ifndef QUORIX_HOME_PAGE_URL
#define QUORIX_HOME_PAGE_URL "https://quorix.example/"
#endif
#ifndef QUORIX_MANUAL_URL
#define QUORIX_MANUAL_URL "https://quorix.example/manual/"
#endif
#ifndef QUORIX_SUPPORT_URL
#define QUORIX_SUPPORT_URL "https://quorix.example/support/"
#endif
#ifndef QUORIX_PUBLISHER_URL
#define QUORIX_PUBLISHER_URL "https://quorix.example/software/"
#endif
#ifndef QUORIX_HELP_URL
#define QUORIX_HELP_URL "https://quorix.example/help/resize-modes"
#endif
