#pragma once
// Key events exactly as Qt's X11 platform delivered them to a text window with the US, German
// and French layouts loaded, while the keys were pressed by position (XTest key codes): the
// operator types / = ? + 1 . , - @ and then Ctrl+2 and Alt+1 on the keys each layout has them
// on. Fields: press or release, Qt key, Qt modifiers, text, native scan code.
#include <QKeyEvent>

#include <string_view>
#include <vector>

namespace dita::test {

struct RecordedKey {
    bool down;
    int key;
    unsigned modifiers;
    std::u16string_view text;
    quint32 scanCode;
};

struct RecordedLayout {
    const char* name;
    std::vector<RecordedKey> keys;
};

inline std::vector<RecordedLayout> recordedLayouts() {
    using namespace std::string_view_literals;
    constexpr bool kDown = true;
    constexpr bool kUp = false;
    return {
        {"us",
         {
             {kDown, 0x2f, 0x0, u"/"sv, 61},           {kUp, 0x2f, 0x0, u"/"sv, 61},
             {kDown, 0x3d, 0x0, u"="sv, 21},           {kUp, 0x3d, 0x0, u"="sv, 21},
             {kDown, 0x1000020, 0x2000000, u""sv, 50}, {kDown, 0x3f, 0x2000000, u"?"sv, 61},
             {kUp, 0x3f, 0x2000000, u"?"sv, 61},       {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50}, {kDown, 0x2b, 0x2000000, u"+"sv, 21},
             {kUp, 0x2b, 0x2000000, u"+"sv, 21},       {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x31, 0x0, u"1"sv, 10},           {kUp, 0x31, 0x0, u"1"sv, 10},
             {kDown, 0x2e, 0x0, u"."sv, 60},           {kUp, 0x2e, 0x0, u"."sv, 60},
             {kDown, 0x2c, 0x0, u","sv, 59},           {kUp, 0x2c, 0x0, u","sv, 59},
             {kDown, 0x2d, 0x0, u"-"sv, 20},           {kUp, 0x2d, 0x0, u"-"sv, 20},
             {kDown, 0x1000020, 0x2000000, u""sv, 50}, {kDown, 0x40, 0x2000000, u"@"sv, 11},
             {kUp, 0x40, 0x2000000, u"@"sv, 11},       {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000021, 0x4000000, u""sv, 37}, {kDown, 0x32, 0x4000000, u"\x00"sv, 11},
             {kUp, 0x32, 0x4000000, u"\x00"sv, 11},    {kUp, 0x1000021, 0x0, u""sv, 37},
             {kDown, 0x1000023, 0x8000000, u""sv, 64}, {kDown, 0x31, 0x8000000, u"1"sv, 10},
             {kUp, 0x31, 0x8000000, u"1"sv, 10},       {kUp, 0x1000023, 0x0, u""sv, 64},
         }},
        {"de",
         {
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x2f, 0x2000000, u"/"sv, 16},
             {kUp, 0x2f, 0x2000000, u"/"sv, 16},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x3d, 0x2000000, u"="sv, 19},
             {kUp, 0x3d, 0x2000000, u"="sv, 19},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x3f, 0x2000000, u"?"sv, 20},
             {kUp, 0x3f, 0x2000000, u"?"sv, 20},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x2b, 0x0, u"+"sv, 35},
             {kUp, 0x2b, 0x0, u"+"sv, 35},
             {kDown, 0x31, 0x0, u"1"sv, 10},
             {kUp, 0x31, 0x0, u"1"sv, 10},
             {kDown, 0x2e, 0x0, u"."sv, 60},
             {kUp, 0x2e, 0x0, u"."sv, 60},
             {kDown, 0x2c, 0x0, u","sv, 59},
             {kUp, 0x2c, 0x0, u","sv, 59},
             {kDown, 0x2d, 0x0, u"-"sv, 61},
             {kUp, 0x2d, 0x0, u"-"sv, 61},
             {kDown, 0x1001103, 0x40000000, u""sv, 108},
             {kDown, 0x40, 0x40000000, u"@"sv, 24},
             {kUp, 0x40, 0x40000000, u"@"sv, 24},
             {kUp, 0x1001103, 0x0, u""sv, 108},
             {kDown, 0x1000021, 0x4000000, u""sv, 37},
             {kDown, 0x32, 0x4000000, u"\x00"sv, 11},
             {kUp, 0x32, 0x4000000, u"\x00"sv, 11},
             {kUp, 0x1000021, 0x0, u""sv, 37},
             {kDown, 0x1000023, 0x8000000, u""sv, 64},
             {kDown, 0x31, 0x8000000, u"1"sv, 10},
             {kUp, 0x31, 0x8000000, u"1"sv, 10},
             {kUp, 0x1000023, 0x0, u""sv, 64},
         }},
        {"fr",
         {
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x2f, 0x2000000, u"/"sv, 60},
             {kUp, 0x2f, 0x2000000, u"/"sv, 60},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x3d, 0x0, u"="sv, 21},
             {kUp, 0x3d, 0x0, u"="sv, 21},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x3f, 0x2000000, u"?"sv, 58},
             {kUp, 0x3f, 0x2000000, u"?"sv, 58},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x2b, 0x2000000, u"+"sv, 21},
             {kUp, 0x2b, 0x2000000, u"+"sv, 21},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x31, 0x2000000, u"1"sv, 10},
             {kUp, 0x31, 0x2000000, u"1"sv, 10},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x1000020, 0x2000000, u""sv, 50},
             {kDown, 0x2e, 0x2000000, u"."sv, 59},
             {kUp, 0x2e, 0x2000000, u"."sv, 59},
             {kUp, 0x1000020, 0x0, u""sv, 50},
             {kDown, 0x2c, 0x0, u","sv, 58},
             {kUp, 0x2c, 0x0, u","sv, 58},
             {kDown, 0x2d, 0x0, u"-"sv, 15},
             {kUp, 0x2d, 0x0, u"-"sv, 15},
             {kDown, 0x1001103, 0x40000000, u""sv, 108},
             {kDown, 0x40, 0x40000000, u"@"sv, 19},
             {kUp, 0x40, 0x40000000, u"@"sv, 19},
             {kUp, 0x1001103, 0x0, u""sv, 108},
             {kDown, 0x1000021, 0x4000000, u""sv, 37},
             {kDown, 0xc9, 0x4000000, u"\xe9"sv, 11},
             {kUp, 0xc9, 0x4000000, u"\xe9"sv, 11},
             {kUp, 0x1000021, 0x0, u""sv, 37},
             {kDown, 0x1000023, 0x8000000, u""sv, 64},
             {kDown, 0x26, 0x8000000, u"&"sv, 10},
             {kUp, 0x26, 0x8000000, u"&"sv, 10},
             {kUp, 0x1000023, 0x0, u""sv, 64},
         }},
    };
}

inline QKeyEvent keyEventOf(const RecordedKey& k) {
    return QKeyEvent(k.down ? QEvent::KeyPress : QEvent::KeyRelease, k.key,
                     Qt::KeyboardModifiers(k.modifiers), k.scanCode, 0, 0,
                     QString::fromUtf16(k.text.data(), qsizetype(k.text.size())));
}

} // namespace dita::test
