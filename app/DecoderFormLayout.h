// The window's layout: sizes and places of the client area's panels and controls, shared by
// the files that build the window, place the transmit side and switch the screen modes.
#pragma once

#include <QPoint>
#include <QRect>

#include "display/DisplayPanel.h"

namespace dita::form_layout {

// Layout of the client area (the parts not fixed by the screen modes are our own choice).
// The client is at least this wide, and as wide as the station panel needs.
inline constexpr int kMinClientWidth = 784;
inline constexpr int kImagePnlHeight = SpectrumPanel::kPanelHeight;
inline constexpr int kPanel3Height = 40;
inline constexpr int kRcvMemoHeight = 124;
inline constexpr int kSplitPnlHeight = 4;
inline constexpr int kRcv2PnlHeight = 44;
inline constexpr int kTransmitMemoHeight = 126;
inline constexpr int kPanel2Height = 5;

// Places of the controls inside their panels.
inline constexpr QRect kBrandLabelRect{40, 50, 90, 30};
inline constexpr QRect kLabel3Rect{4, 10, 44, 20};
inline constexpr QPoint kSignalBarPos{48, 9};
inline constexpr QRect kLabel12Rect{150, 10, 34, 20};
inline constexpr QRect kRcvWPMPnlRect{184, 6, 40, 28};
inline constexpr QRect kLabel13Rect{234, 10, 30, 20};
inline constexpr QRect kUTCPnlRect{264, 6, 70, 28};
inline constexpr QRect kLabel14Rect{344, 10, 32, 20};
inline constexpr QRect kUTCDatePnlRect{376, 6, 90, 28};
// The lamps sit under their captions, centred.
inline constexpr QRect kRcvLEDLabelRect{476, 0, 64, 14};
inline constexpr QPoint kRcvLEDPos{488, 17};
inline constexpr QRect kXmitLEDLabelRect{546, 0, 64, 14};
inline constexpr QPoint kXmitLEDPos{557, 15};
inline constexpr QRect kLabel15Rect{624, 0, 68, 14};
inline constexpr QRect kLocalClockRect{624, 14, 68, 24};
inline constexpr QRect kClearButtonRect{696, 2, 84, 18}; // wide enough for "Clear Decode"
inline constexpr QRect kClrRcvBtnRect{696, 20, 84, 18};
inline constexpr QRect kCoarseGainBar2Rect{8, 10, 200, 24};
inline constexpr QRect kRawSnrMemoRect{230, 8, 110, 28};
inline constexpr QRect kClrRcvBtn2Rect{360, 8, 80, 28};
// The lower control panel: the station panel on top, the gain bar and the transmit speed and
// contact controls below it.
inline constexpr int kStationPnlTop = 4;
inline constexpr int kControlRowTop = 96;
inline constexpr int kControlCaptionTop = kControlRowTop - 20;
inline constexpr int kCaptionHeight = 18;
inline constexpr QRect kCoarseGainBarRect{8, kControlRowTop, 200, 24};
inline constexpr QRect kGainCaptionRect{8, kControlCaptionTop, 200, kCaptionHeight};
inline constexpr QRect kXmitWPMCaptionRect{330, kControlCaptionTop, 110, kCaptionHeight};
inline constexpr QRect kXmitSpdUpDn2Rect{330, kControlRowTop, 70, 28};
inline constexpr QRect kXmitSpdUpDnRect{404, kControlRowTop, 22, 28};
inline constexpr QRect kXmitSpeedPanelRect{430, kControlRowTop, 40, 28};
inline constexpr QRect kSyncBtnRect{476, kControlRowTop, 50, 28};
// Below the control row: the transmit buttons with their captions, then the message buttons.
inline constexpr int kTransmitPanelTop = 126;
inline constexpr int kTransmitPanelHeight = 48;
inline constexpr int kMsgButtonTop = kTransmitPanelTop + kTransmitPanelHeight;
inline constexpr int kMsgButtonHeight = 24;

// Screen op modes.
inline constexpr int kRxTransmitMemoTop = 661;
inline constexpr int kRxPanel2Top = 312;
inline constexpr int kRxWindowHeight = 366;
inline constexpr int kRxClientHeight = 317;
inline constexpr int kTrTransmitMemoTop = 268;
inline constexpr int kTrWindowHeight = 649;
inline constexpr int kTrRcv2PnlTop = 616;
inline constexpr int kTrPanel2Top = 594;
inline constexpr int kTrClientHeight = 599;

inline constexpr int kXmitSpeedMin = 10;
inline constexpr int kXmitSpeedMax = 125;
inline constexpr int kBrandFontPt = 16;

} // namespace dita::form_layout
