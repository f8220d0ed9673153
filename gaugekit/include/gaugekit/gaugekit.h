#pragma once
// Everything a program needs to place gaugekit components.
#include "gaugekit/GkBar.h"
#include "gaugekit/GkClass.h"
#include "gaugekit/GkClock.h"
#include "gaugekit/GkColor.h"
#include "gaugekit/GkDraw.h"
#include "gaugekit/GkFlash.h"
#include "gaugekit/GkLED.h"
#include "gaugekit/GkMath.h"
#include "gaugekit/GkSettings.h"
#include "gaugekit/GkTypes.h"
