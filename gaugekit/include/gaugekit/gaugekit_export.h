#pragma once
// Symbol visibility of libgaugekit.so. The library is built with hidden visibility, so every
// class and function that programs may use carries GAUGEKIT_EXPORT.
#if defined(GAUGEKIT_BUILDING)
#define GAUGEKIT_EXPORT __attribute__((visibility("default")))
#else
#define GAUGEKIT_EXPORT
#endif
