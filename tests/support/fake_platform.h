// fake_platform.h - placeholder until the scriptable fake lands.
#ifndef KVR_FAKE_PLATFORM_H
#define KVR_FAKE_PLATFORM_H
#endif
