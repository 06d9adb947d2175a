// The Updater's usual file name on this platform: what it exempts as its own
// file unless told otherwise.
#pragma once

#ifdef _WIN32
#define UPD_SELF_NAME u"updater.exe"
#else
#define UPD_SELF_NAME u"updater"
#endif
