#ifndef TAVRIN_WIN32_APP_RESOURCE_H
#define TAVRIN_WIN32_APP_RESOURCE_H

// The program's icons: the first is also the executable's own.
#define IDI_PICTURE_A 1
#define IDI_PICTURE_B 2

#endif
